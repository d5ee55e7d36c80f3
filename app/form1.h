#pragma once

#include "app/clientscale.h"
#include "app/fullscreen.h"
#include "playlist/playlistbox.h"

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class Form1Surface;
class Form2;
class MovieControl;
class OpenDialog;
class PlaybackCommands;
class PlaylistCommands;
class PlaylistWindow;

// The side effects the window depends on, so that tests can replace them.
struct Form1Services {
    MovieControl* control = nullptr;  // its widget becomes the window's child; null: a FlashControl
    QString playlistPath;             // empty: the per-user default
    std::function<void()> endProgram; // empty: quit the application
    std::shared_ptr<OpenDialog> openDialog{}; // empty: the platform's file dialog
};

// The main window: the playlist panel at the left, the movie to its right, three menus.
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    explicit Form1(Form1Services services = {});
    ~Form1() override;

    // Start-up, before the window is first shown: the playlist file, then the movies named on
    // the command line, then the list's extent, then the start-up geometry record.
    void Form_Load(const QStringList& moviePaths);

    // The window's four recorded measures for leaving full-screen mode.
    using StartupGeometry = ::StartupGeometry;
    StartupGeometry startupGeometry() const { return m_startup; }

    // The caption rule sets the window's title: at start-up, on Open, on choosing or removing
    // a playlist entry. Everything that names the current movie goes through here, so that
    // full-screen mode knows the caption to bring back with the title bar.
    void setCaption(const QString& caption);

    // Full-screen mode's tag text and the window's style model.
    QString tagText() const { return m_fullScreen.tagText(); }
    WindowStyle windowStyle() const;

    ClientScale& clientScale() { return m_scale; }
    const ClientScale& clientScale() const { return m_scale; }

    // A control's rectangle in the client scale's units.
    QRectF controlRect(const QWidget* control) const;
    void setControlLeft(QWidget* control, float left);
    void setControlTop(QWidget* control, float top);
    void setControlWidth(QWidget* control, float width);
    void setControlHeight(QWidget* control, float height);

    MovieControl& ShockwaveFlash1() { return *m_control; }
    PlaylistBox* List1() const { return m_list; }
    QLabel* Label1() const { return m_label; }
    QLabel* Image1() const { return m_image; }
    QMenu* lstmnu() const { return m_lstmnu; }
    Form2* aboutWindow() const;
    QAction* action(const char* name) const;

public slots:
    void Form_Resize();
    void mnuquanping_Click();
    // fscommand("fullscreen", ...) from a movie: the full-screen command, if the mode is not
    // already as asked.
    void movieRequestedFullScreen(bool on);
    void cmdexit_Click();
    void cmdabout_Click();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void createMenus();
    void savePlaylist();
    void endProgram();
    void clientAreaChanged();

    Form1Services m_services;
    ClientScale m_scale;
    StartupGeometry m_startup;
    bool m_playlistUnreadable = false; // a file we could not read is never overwritten
    QStringList m_leftOver;            // entries of the file beyond the list's limit
    bool m_ending = false;

    QWidget* m_client = nullptr;
    QLabel* m_image = nullptr;
    QLabel* m_label = nullptr;
    PlaylistBox* m_list = nullptr;
    MovieControl* m_control = nullptr;
    std::unique_ptr<PlaybackCommands> m_playback;
    std::unique_ptr<PlaylistWindow> m_playlistWindow;
    std::unique_ptr<PlaylistCommands> m_playlist;
    QMenu* m_lstmnu = nullptr;
    QPointer<Form2> m_about;

    // Before the first show the platform knows no frame; the record takes it once it does.
    bool m_startupFramePending = false;
    FullScreenMode m_fullScreen;
    std::unique_ptr<Form1Surface> m_surface;
};
