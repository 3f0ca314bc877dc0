#include "dialog/qt/qt_bom_options_dialog.h"

#include <QCheckBox>
#include <QLineEdit>

#include "dialog/qt/frm_bom_opts.h"

namespace kbx::dialog {

namespace {

Qt::CheckState toCheckState(int32_t state) {
    if (state == 1) return Qt::Checked;
    if (state == 2) return Qt::PartiallyChecked;
    return Qt::Unchecked;
}

int32_t fromCheckState(Qt::CheckState state) {
    if (state == Qt::Checked) return 1;
    if (state == Qt::PartiallyChecked) return 2;
    return 0;
}

}  // namespace

bool QtBomOptionsDialog::ShowModal(BomOptions& options) {
    frm_bom_opts form;
    form.ExcelExt = QString::fromStdString(options.ExcelExt);
    form.chk_embed->setCheckState(toCheckState(options.embed));
    form.chk_reverse->setCheckState(toCheckState(options.reverse));
    form.txt_template->setText(QString::fromStdString(options.templatePath));
    form.exec();
    if (!form.ok) return false;
    options.reverse = fromCheckState(form.chk_reverse->checkState());
    options.embed = fromCheckState(form.chk_embed->checkState());
    options.templatePath = form.txt_template->text().toStdString();
    return true;
}

void installQtBomOptionsDialog() {
    setBomOptionsDialogFactory([] { return std::make_unique<QtBomOptionsDialog>(); });
}

}  // namespace kbx::dialog
