// The options dialog frm_bom_opts driven through its real widgets.

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "dialog/get_bom_params.h"
#include "dialog/qt/frm_bom_opts.h"
#include "dialog/qt/qt_bom_options_dialog.h"
#include "support/test_support.h"

using kbx::dialog::frm_bom_opts;

namespace {

struct BrowseCall {
    QString initDir;
    QString fileName;
    QString filter;
};

// Focusable widgets in the order Tab visits them, starting at `first`.
QList<QWidget*> tabChain(QWidget* first) {
    QList<QWidget*> chain;
    QWidget* widget = first;
    do {
        if (widget->focusPolicy() & Qt::TabFocus) chain << widget;
        widget = widget->nextInFocusChain();
    } while (widget != first && chain.size() < 20);
    return chain;
}

}  // namespace

class DialogFormTest : public QObject {
    Q_OBJECT

private slots:
    void captionsAndTabOrder();
    void embedBoxLockedOnlyWhenUnchecked();
    void browseFilterStartAndResult();
    void okRefusesMissingFilesAndDirectories();
    void okAcceptsAnExistingFileAndCancelRejects();
    void getBomParamsWithTheRealDialogAndEngine();
    void screenshot();
};

void DialogFormTest::captionsAndTabOrder() {
    frm_bom_opts form;
    form.show();
    QCOMPARE(form.windowTitle(), QString("BomSettings"));
    QCOMPARE(form.size(), QSize(305, 194));
    QCOMPARE(form.chk_reverse->text(), QString::fromUtf8("Stückliste von unten nach oben"));
    QCOMPARE(form.lbl_template->text(), QString("Vorlage"));
    QCOMPARE(form.btn_browse->text(), QString("..."));
    QCOMPARE(form.chk_embed->text(), QString::fromUtf8("Stückliste in Zeichnung einbetten"));
    QCOMPARE(form.btn_cancel->text(), QString("Abbrechen"));
    QCOMPARE(form.btn_ok->text(), QString("OK"));
    QCOMPARE(form.Label1->text(), QString("KestDBBomExcel 1.02"));
    const QList<QWidget*> expected{form.chk_reverse, form.txt_template, form.btn_ok,
                                   form.btn_cancel,  form.chk_embed,    form.btn_browse};
    QCOMPARE(tabChain(form.chk_reverse), expected);
    QVERIFY(!form.ok);
}

void DialogFormTest::embedBoxLockedOnlyWhenUnchecked() {
    frm_bom_opts unchecked;
    unchecked.chk_embed->setCheckState(Qt::Unchecked);
    unchecked.show();
    QVERIFY(!unchecked.chk_embed->isEnabled());
    QCOMPARE(unchecked.chk_embed->checkState(), Qt::Unchecked);
    QVERIFY(unchecked.chk_reverse->isEnabled());

    frm_bom_opts checked;
    checked.chk_embed->setCheckState(Qt::Checked);
    checked.show();
    QVERIFY(checked.chk_embed->isEnabled());
    QTest::mouseClick(checked.chk_embed, Qt::LeftButton);
    QCOMPARE(checked.chk_embed->checkState(), Qt::Unchecked);
}

void DialogFormTest::browseFilterStartAndResult() {
    QVERIFY(frm_bom_opts::filterFor("xlsx").startsWith("Excel BOM Templates 2007+ (*.xlsx)|*.xlsx|"));
    QVERIFY(frm_bom_opts::filterFor("XLS").startsWith("Excel BOM Templates 2003- (*.xls)|*.xls|"));
    QVERIFY(frm_bom_opts::filterFor("XLSM").startsWith("Excel BOM Templates 2003- (*.xls)"));
    QCOMPARE(frm_bom_opts::nameFilters(frm_bom_opts::filterFor("xlsx")),
             QStringList({"Excel BOM Templates 2007+ (*.xlsx)", "Excel BOM Templates 2003- (*.xls)"}));

    frm_bom_opts form;
    form.ExcelExt = "xlsx";
    QList<BrowseCall> calls;
    QString answer;
    form.setFileOpen([&](QWidget*, const QString& dir, const QString& name, const QString& filter) {
        calls << BrowseCall{dir, name, filter};
        return answer;
    });
    form.show();

    form.txt_template->setText("/data/boms");  // a directory: start there, no name
    QTest::mouseClick(form.btn_browse, Qt::LeftButton);
    QCOMPARE(calls.last().initDir, QString("/data/boms"));
    QCOMPARE(calls.last().fileName, QString());
    QCOMPARE(calls.last().filter, frm_bom_opts::filterFor("XLSX"));
    QCOMPARE(form.txt_template->text(), QString("/data/boms"));  // cancelled: the field stays

    form.txt_template->setText("t.xls");  // a bare name: default directory, name preset
    answer = "t.xls";                     // the same name chosen again
    QTest::mouseClick(form.btn_browse, Qt::LeftButton);
    QCOMPARE(calls.last().initDir, QString());
    QCOMPARE(calls.last().fileName, QString("t.xls"));
    QCOMPARE(form.txt_template->text(), QString("t.xls"));

    form.txt_template->setText("/data/boms/old.xlsx");
    answer = "/data/other/new.xlsx";
    QTest::mouseClick(form.btn_browse, Qt::LeftButton);
    QCOMPARE(calls.last().initDir, QString("/data/boms/"));
    QCOMPARE(calls.last().fileName, QString("old.xlsx"));
    QCOMPARE(form.txt_template->text(), QString("/data/other/new.xlsx"));
}

void DialogFormTest::okRefusesMissingFilesAndDirectories() {
    kbx::test::PlatformGuard guard;
    kbx::test::TempDir dir;
    frm_bom_opts form;
    form.show();
    for (const std::string& text : {dir.file("missing.xlsx"), dir.path().string()}) {
        form.txt_template->setText(QString::fromStdString(text));
        QTest::mouseClick(form.btn_ok, Qt::LeftButton);
        QVERIFY(form.isVisible());
        QVERIFY(!form.ok);
    }
    QCOMPARE(guard.messages->shown.size(), std::size_t{2});
    QCOMPARE(guard.messages->shown[0].text, std::string("Invalid filename"));
    QCOMPARE(guard.messages->shown[0].caption, std::string("Error"));
    QVERIFY(guard.messages->shown[0].icon == kbx::session::MessageIcon::Critical);
}

void DialogFormTest::okAcceptsAnExistingFileAndCancelRejects() {
    kbx::test::PlatformGuard guard;
    kbx::test::TempDir dir;
    std::ofstream(dir.file("bom.xls")) << "x";
    frm_bom_opts form;
    form.show();
    const QString pattern = QString::fromStdString(dir.file("bom.xls"));
    form.txt_template->setText(pattern);
    QTest::mouseClick(form.btn_ok, Qt::LeftButton);
    QVERIFY(form.ok);
    QVERIFY(!form.isVisible());
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QCOMPARE(form.txt_template->text(), pattern);
    QVERIFY(guard.messages->shown.empty());

    frm_bom_opts cancelled;
    cancelled.show();
    QTest::mouseClick(cancelled.btn_cancel, Qt::LeftButton);
    QVERIFY(!cancelled.ok);
    QVERIFY(!cancelled.isVisible());
}

// GetBomParams shows the real form; the test answers it like a user, and the
// working copy is written by the engine and read back by openpyxl.
void DialogFormTest::getBomParamsWithTheRealDialogAndEngine() {
    kbx::test::PlatformGuard guard;
    kbx::test::TempDir dir;
    kbx::test::EnvGuard temp("TEMP", dir.path().string());
    const std::string templ = kbx::test::copyData(dir, "fill.xlsx");
    kbx::dialog::installQtBomOptionsDialog();

    QString proposed;
    bool embedEnabled = true;
    QTimer::singleShot(0, [&] {
        auto* form = qobject_cast<frm_bom_opts*>(QApplication::activeModalWidget());
        if (form == nullptr) return;
        proposed = form->txt_template->text();
        embedEnabled = form->chk_embed->isEnabled();
        form->txt_template->setText(QString::fromStdString(templ));
        QTest::mouseClick(form->chk_reverse, Qt::LeftButton);
        QTest::mouseClick(form->btn_ok, Qt::LeftButton);
    });
    kbx::Variant profiles;
    int32_t reverse = 0, embed = 0;
    std::string templte, excelFileName = "xlsx";
    QCOMPARE(kbx::dialog::GetBomParams(dir.path().string(), profiles, reverse, embed, templte, excelFileName), 1);
    kbx::dialog::resetBomOptionsDialogFactory();

    QCOMPARE(proposed, QString::fromStdString(dir.file("KestDBBomTempl.XLSX")));
    QVERIFY(!embedEnabled);
    QCOMPARE(reverse, 1);
    QCOMPARE(embed, 0);
    QCOMPARE(templte, templ);
    QVERIFY(guard.messages->shown.empty());
    QCOMPARE(profiles.upperBound(), 3);
}

// Renders the dialog; with KBX_DIALOG_SCREENSHOT set, saves it there (the
// README's picture is made this way under Xvfb).
void DialogFormTest::screenshot() {
    frm_bom_opts form;
    form.chk_reverse->setCheckState(Qt::Checked);
    form.chk_embed->setCheckState(Qt::Checked);
    form.txt_template->setText("/home/bom/vorlagen/KestDBBomTempl.XLSX");
    form.show();
    const QPixmap picture = form.grab();
    QCOMPARE(picture.size() / picture.devicePixelRatio(), QSize(305, 194));
    const QByteArray target = qgetenv("KBX_DIALOG_SCREENSHOT");
    if (!target.isEmpty()) QVERIFY(picture.save(QString::fromLocal8Bit(target)));
}

QTEST_MAIN(DialogFormTest)
#include "dialog_form_test.moc"
