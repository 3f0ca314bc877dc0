#pragma once
// frm_bom_opts, the BOM options dialog: template path, reverse order and
// embedding. Positions are the form's twips at 15 twips per pixel.

#include <QDialog>
#include <QString>

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kbx::dialog {

class frm_bom_opts : public QDialog {
    Q_OBJECT

public:
    // Shows the file-open dialog: start directory and preset name (either may
    // be empty) and the filter as "description|pattern|..."; returns the full
    // path chosen, or an empty text when nothing was chosen.
    using FileOpen = std::function<QString(QWidget* parent, const QString& initDir, const QString& fileName,
                                           const QString& filter)>;

    explicit frm_bom_opts(QWidget* parent = nullptr);

    // The file-type hint ("XLS", "XLSX"); only decides the filter order.
    QString ExcelExt;
    // True only after OK with an existing file.
    bool ok = false;

    QCheckBox* chk_reverse;
    QLabel* lbl_template;
    QLineEdit* txt_template;
    QPushButton* btn_browse;
    QCheckBox* chk_embed;
    QPushButton* btn_cancel;
    QPushButton* btn_ok;
    QLabel* Label1;

    // Replaces the file-open dialog (the default is QFileDialog).
    void setFileOpen(FileOpen fileOpen);

    // The filter string for a hint: the 2007+ entry first for "XLSX" in any case.
    static QString filterFor(const QString& excelExt);
    // The same filter as Qt name filters, in order.
    static QStringList nameFilters(const QString& filter);

    // Load size of the client area in pixels: 4575 x 2910 twips.
    static constexpr int kLoadWidth = 305;
    static constexpr int kLoadHeight = 194;

public slots:
    void btn_browse_Click();
    void btn_ok_Click();
    void btn_cancel_Click();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Form_Load();
    void Form_Activate();
    void Form_Resize();
    void buildControls();
    void setTabOrder();

    FileOpen fileOpen_;
    int rememberedBrowseLeft_ = 0;
    int rememberedTemplateWidth_ = 0;
    int rememberedWidth_ = 0;
    int rememberedHeight_ = 0;
};

}  // namespace kbx::dialog
