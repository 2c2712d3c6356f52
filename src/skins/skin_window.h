#pragma once

#include "forms/form.h"
#include "forms/form_names.h"
#include "skins/skin_folders.h"

class QLabel;
class QListWidget;
class QPushButton;

// frmSkins, "皮肤管理器": puts one of the four built-in skins, any other skin file of the skins
// folders, or no skin on every window of the program. The skin in use is a byte copy of the
// chosen file, "skinh.she" in the data folder; putting one on reloads the countdown, whose
// load attaches the skin. Taking it off needs a fresh process: every window is unloaded and
// the program starts itself again.
class SkinWindow final : public Form {
    Q_OBJECT
public:
    static constexpr QLatin1String kName = FormName::Skins;

    // folders: where skins are listed from; those of the program when not given.
    explicit SkinWindow(AppContext& context, SkinFolders folders = {}, QWidget* parent = nullptr);

    void Form_Load() override;
    void Form_Unload(bool& cancel) override;

    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Form_MouseDown();

    // Copies the skin file over the active one and reloads the countdown, which attaches it.
    // A file that cannot be read or is no usable style sheet, or a failed copy, is reported
    // and changes nothing.
    void ApplySkin(const QString& source);
    // Takes the skin off: deletes the active skin file, unloads every window and has the
    // program start again.
    void RemoveSkin();

    const SkinFolders& folders() const { return m_folders; }
    // The file of the list's selected entry; empty with nothing selected.
    QString selectedSkin() const;

    // Set by RemoveSkin only, on the path that ends the program.
    bool RestartPending = false;

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Picture1 = nullptr;
    QLabel* Picture2 = nullptr;
    QLabel* Picture3 = nullptr;
    QLabel* Picture4 = nullptr;
    QPushButton* Command1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QPushButton* Command5 = nullptr;
    QPushButton* Command6 = nullptr;
    QListWidget* File1 = nullptr;

    // The built-in skins by button: "skinh.she", "itunes.she", "office2007.she", "QQ2008.she".
    static QString builtInFile(int button);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QLabel* addHeading(const char* name, double left, double top, double width, double height);
    QLabel* addPicture(const char* name, double left, double top);
    QPushButton* addButton(const char* name, double left, double top,
                           void (SkinWindow::*handler)());
    void showPreviews();
    void listSkins();

    SkinFolders m_folders;
};
