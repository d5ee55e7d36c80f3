#pragma once

#include <QObject>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <optional>

class MovieControl;
class OpenDialog;
class PlaylistBox;

// What the playlist commands need of the main window besides its list and movie control.
class PlaylistWindow {
public:
    virtual ~PlaylistWindow() = default;
    virtual void setCaption(const QString& caption) = 0;
    // Opens the list's context menu (`lstmnu`) at `globalPos` and returns once it has closed.
    virtual void popupListMenu(const QPoint& globalPos) = 0;
};

// The open dialog's result split into a folder (ending in exactly one '/') and the chosen
// names, in the dialog's order.
struct DlgFileInfo {
    QString folder;
    QStringList names;
};

// Splits `strFilename` given the folder it starts with. The folder part is not compared, only
// taken to be as long as `folder`; empty when the result is shorter than that.
std::optional<DlgFileInfo> GetDlgFileInfo(const QString& strFilename, const QString& folder);

// The File menu's Open, and the playlist's choosing and removing of entries.
class PlaylistCommands : public QObject {
    Q_OBJECT
public:
    PlaylistCommands(PlaylistWindow& window, PlaylistBox& list, MovieControl& control,
                     OpenDialog& dialog);

    // Adds the chosen movies that are not listed yet, then loads the first chosen one and makes
    // its entry current. A cancel, or any failure, ends it silently; what was added stays.
    void cmdopen_Click();
    // Files dropped on the window (absolute paths, in order): added and loaded as Open adds
    // and loads the files chosen in its dialog.
    void addDroppedFiles(const QStringList& paths);

    void List1_Click();
    void List1_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, const QPoint& pos);
    void sc_Click();
    // Removes the current entry (the index is not used), then makes the first entry current.
    void List1_ItemCheck(qint16 item);

private:
    void addSelection(DlgFileInfo selection);
    // Adds chosen name `i` (from 1) unless an entry holds exactly its path; otherwise makes
    // that entry current. False when the list is full.
    bool jccfxm(int i);
    QString chosenPath(int i) const;

    PlaylistWindow& m_window;
    PlaylistBox& m_list;
    MovieControl& m_control;
    OpenDialog& m_dialog;
    DlgFileInfo m_selection; // lives only while cmdopen runs
};
