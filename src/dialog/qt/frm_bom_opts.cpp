#include "dialog/qt/frm_bom_opts.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QShowEvent>

#include "dialog/bom_options_dialog.h"
#include "dialog/split_path.h"
#include "session/platform.h"

namespace kbx::dialog {

namespace {

constexpr int kTwipsPerPixel = 15;

// Twips to pixels, rounded to the nearest pixel.
int px(int twips) { return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel; }

// The controls are laid out for a narrow 8-point face; 10 pixels, set on
// each control, since the platform may give a font per kind of widget.
void place(QWidget* widget, int left, int top, int width, int height) {
    QFont font = widget->font();
    font.setPixelSize(10);
    widget->setFont(font);
    widget->setGeometry(px(left), px(top), px(width), px(height));
}

QString openWithFileDialog(QWidget* parent, const QString& initDir, const QString& fileName, const QString& filter) {
    QFileDialog fileDialog(parent);
    fileDialog.setFileMode(QFileDialog::ExistingFile);
    fileDialog.setNameFilters(frm_bom_opts::nameFilters(filter));
    if (!initDir.isEmpty()) fileDialog.setDirectory(initDir);
    if (!fileName.isEmpty()) fileDialog.selectFile(fileName);
    if (fileDialog.exec() != QDialog::Accepted || fileDialog.selectedFiles().isEmpty()) return {};
    return fileDialog.selectedFiles().first();
}

}  // namespace

frm_bom_opts::frm_bom_opts(QWidget* parent) : QDialog(parent), fileOpen_(openWithFileDialog) {
    setWindowTitle("BomSettings");
    setObjectName("frm_bom_opts");
    resize(kLoadWidth, kLoadHeight);
    buildControls();
    setTabOrder();
    connect(btn_browse, &QPushButton::clicked, this, &frm_bom_opts::btn_browse_Click);
    connect(btn_ok, &QPushButton::clicked, this, &frm_bom_opts::btn_ok_Click);
    connect(btn_cancel, &QPushButton::clicked, this, &frm_bom_opts::btn_cancel_Click);
    Form_Load();
}

void frm_bom_opts::buildControls() {
    chk_reverse = new QCheckBox(QString::fromUtf8("Stückliste von unten nach oben"), this);
    place(chk_reverse, 120, 240, 4095, 255);
    lbl_template = new QLabel("Vorlage", this);
    place(lbl_template, 120, 720, 4215, 255);
    txt_template = new QLineEdit(this);
    place(txt_template, 120, 1200, 3495, 285);
    btn_browse = new QPushButton("...", this);
    place(btn_browse, 3720, 1200, 495, 375);
    chk_embed = new QCheckBox(QString::fromUtf8("Stückliste in Zeichnung einbetten"), this);
    place(chk_embed, 120, 1680, 3615, 255);
    btn_cancel = new QPushButton("Abbrechen", this);
    place(btn_cancel, 240, 2160, 1695, 375);
    btn_ok = new QPushButton("OK", this);
    place(btn_ok, 2160, 2160, 1815, 375);
    Label1 = new QLabel("KestDBBomExcel 1.02", this);
    place(Label1, 240, 2640, 1692, 252);

    const std::pair<QWidget*, const char*> names[] = {{chk_reverse, "chk_reverse"},
                                                      {lbl_template, "lbl_template"},
                                                      {txt_template, "txt_template"},
                                                      {btn_browse, "btn_browse"},
                                                      {chk_embed, "chk_embed"},
                                                      {btn_cancel, "btn_cancel"},
                                                      {btn_ok, "btn_ok"},
                                                      {Label1, "Label1"}};
    for (const auto& [widget, name] : names) widget->setObjectName(name);
    // Only a click presses a button: Return in the template field must not
    // close the dialog behind the pattern check's back.
    btn_ok->setAutoDefault(false);
    btn_cancel->setAutoDefault(false);
    btn_browse->setAutoDefault(false);
}

// Tab indexes: chk_reverse 0, (lbl_template 1), txt_template 2, btn_ok 3,
// btn_cancel 4, chk_embed 5, btn_browse 6, (Label1 7). Labels take no focus.
void frm_bom_opts::setTabOrder() {
    QWidget* const order[] = {chk_reverse, txt_template, btn_ok, btn_cancel, chk_embed, btn_browse};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
}

void frm_bom_opts::setFileOpen(FileOpen fileOpen) { fileOpen_ = std::move(fileOpen); }

QString frm_bom_opts::filterFor(const QString& excelExt) {
    if (excelExt.toUpper() == "XLSX")
        return "Excel BOM Templates 2007+ (*.xlsx)|*.xlsx|Excel BOM Templates 2003- (*.xls)|*.xls";
    return "Excel BOM Templates 2003- (*.xls)|*.xls|Excel BOM Templates 2007+ (*.xlsx)|*.xlsx";
}

QStringList frm_bom_opts::nameFilters(const QString& filter) {
    const QStringList pieces = filter.split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < pieces.size(); i += 2) {
        const QString& description = pieces[i];
        filters << (description.contains('(') ? description : description + " (" + pieces[i + 1] + ")");
    }
    return filters;
}

void frm_bom_opts::Form_Load() {
    rememberedBrowseLeft_ = btn_browse->x();
    rememberedTemplateWidth_ = txt_template->width();
    rememberedWidth_ = width();
    rememberedHeight_ = height();
}

void frm_bom_opts::Form_Activate() {
    if (chk_embed->checkState() == Qt::Unchecked) {
        chk_embed->setCheckState(Qt::Unchecked);
        chk_embed->setEnabled(false);
    }
    activateWindow();
}

void frm_bom_opts::Form_Resize() {
    if (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) return;
    int dW = width() - rememberedWidth_;
    const int dH = height() - rememberedHeight_;
    if (dW < 0 || dH < 0) {
        dW = std::max(dW, 0);
        resize(std::max(width(), rememberedWidth_), std::max(height(), rememberedHeight_));
    }
    txt_template->resize(rememberedTemplateWidth_ + dW, txt_template->height());
    btn_browse->move(rememberedBrowseLeft_ + dW, btn_browse->y());
}

void frm_bom_opts::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Form_Activate();
}

void frm_bom_opts::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (rememberedWidth_ > 0) Form_Resize();
}

void frm_bom_opts::btn_browse_Click() {
    const QString filter = filterFor(ExcelExt);
    const PathParts parts = SplitPath(txt_template->text().toStdString());
    const QString initDir = QString::fromStdString(parts.directory);
    const QString presetName = QString::fromStdString(parts.fileName);
    const QString chosen = fileOpen_ ? fileOpen_(this, initDir, presetName, filter) : QString();
    if (!chosen.isEmpty() && chosen != presetName) txt_template->setText(chosen);
}

void frm_bom_opts::btn_ok_Click() {
    if (templateFileExists(txt_template->text().toStdString())) {
        ok = true;
        accept();
        return;
    }
    showInvalidFilename();
}

void frm_bom_opts::btn_cancel_Click() {
    ok = false;
    reject();
}

}  // namespace kbx::dialog
