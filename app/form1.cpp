#include "app/form1.h"

#include "about/form2.h"
#include "app/form1surface.h"
#include "app/layout.h"
#include "common/captions.h"
#include "common/fonts.h"
#include "playback/flashcontrol.h"
#include "playback/moviecontrol.h"
#include "playback/playbackcommands.h"
#include "playlist/moviedrop.h"
#include "playlist/opendialog.h"
#include "playlist/playlistcommands.h"
#include "playlist/playlistfile.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QScreen>
#include <QWindow>
#include <cstdio>

// The pictures are compiled into this static library; they must be registered by hand.
static void initResources() {
    Q_INIT_RESOURCE(resources);
}

namespace {

// Client area at creation, in twips: 876 x 482 pixels at 96 dpi.
constexpr float kClientWidth = 13140;
constexpr float kClientHeight = 7230;

double screenTwipsPerPixel(const QWidget* w) {
    const QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return 1440.0 / (dpi > 0 ? dpi : 96.0);
}

// The playlist commands reach the window through this.
class Form1PlaylistWindow final : public PlaylistWindow {
public:
    explicit Form1PlaylistWindow(Form1& window) : m_window(window) {}
    // Through the caption rule, so that full-screen mode knows a caption was set.
    void setCaption(const QString& caption) override { m_window.setCaption(caption); }
    void popupListMenu(const QPoint& globalPos) override { m_window.lstmnu()->exec(globalPos); }

private:
    Form1& m_window;
};

} // namespace

Form1::Form1(Form1Services services)
    : m_services(std::move(services)), m_surface(std::make_unique<Form1Surface>(*this)) {
    initResources();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kAppCaption);
    setWindowIcon(QIcon(QStringLiteral(":/reelwick.png")));
    m_scale = ClientScale(screenTwipsPerPixel(this));
    if (m_services.playlistPath.isEmpty())
        m_services.playlistPath = playlistfile::defaultPath();
    createControls();
    createMenus();

    const int menuHeight = menuBar()->sizeHint().height();
    resize(m_scale.toPixelsWidth(kClientWidth), m_scale.toPixelsHeight(kClientHeight) + menuHeight);
    m_client->resize(m_scale.toPixelsWidth(kClientWidth), m_scale.toPixelsHeight(kClientHeight));
    m_scale.setClientSize(m_client->size());
}

Form1::~Form1() = default;

void Form1::createControls() {
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    setCentralWidget(m_client);
    m_client->installEventFilter(this);
    m_scale.setClientSize(
        QSize(m_scale.toPixelsWidth(kClientWidth), m_scale.toPixelsHeight(kClientHeight)));

    // Created from the bottom of the stacking order up: picture, heading, list, movie.
    m_image = new QLabel(m_client);
    m_image->setObjectName(QStringLiteral("Image1"));
    m_image->setPixmap(QPixmap(QStringLiteral(":/panel.jpg")));
    m_image->setScaledContents(true); // stretched, whatever the panel's proportions
    m_image->setFocusPolicy(Qt::NoFocus);

    m_label = new QLabel(QStringLiteral("播放列表"), m_client);
    m_label->setObjectName(QStringLiteral("Label1"));
    m_label->setFont(songFont(10.5, QFont::Normal));
    m_label->setFocusPolicy(Qt::NoFocus);

    m_list = new PlaylistBox(m_client);
    m_list->setObjectName(QStringLiteral("List1"));

    if (!m_services.control)
        m_services.control = new FlashControl;
    m_control = m_services.control;
    QWidget* movie = m_control->widget();
    movie->setParent(m_client);
    movie->setObjectName(QStringLiteral("ShockwaveFlash1"));
    movie->setFocusPolicy(Qt::StrongFocus);
    setTabOrder(m_list, movie);
    if (auto* flash = qobject_cast<FlashControl*>(movie))
        connect(flash, &FlashControl::fullScreenRequested, this, &Form1::movieRequestedFullScreen);

    struct Place {
        QWidget* w;
        float left, top, width, height;
    };
    for (const Place& p :
         {Place{m_image, 0, 0, 2805, 7260}, Place{m_label, 240, 120, 840, 210},
          Place{m_list, 60, 420, 2670, 6720}, Place{movie, 2880, 0, 10335, 7260}}) {
        p.w->setGeometry(m_scale.toPixelsX(p.left), m_scale.toPixelsY(p.top),
                         m_scale.toPixelsWidth(p.width), m_scale.toPixelsHeight(p.height));
    }
    m_list->setHeightForWholeRows(m_list->height());
    m_label->setFixedSize(m_label->size());
    m_list->setFocus();
}

void Form1::createMenus() {
    auto addItem = [this](QMenu* menu, const char* name, const QString& caption,
                          const QKeySequence& key, auto slot) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QLatin1String(name));
        a->setShortcut(key);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };

    QMenu* file = menuBar()->addMenu(QStringLiteral("文件"));
    file->setObjectName(QStringLiteral("mnufile"));
    QMenu* playback = menuBar()->addMenu(QStringLiteral("播放控制"));
    playback->setObjectName(QStringLiteral("mnubfkz"));
    QMenu* help = menuBar()->addMenu(QStringLiteral("帮助"));
    help->setObjectName(QStringLiteral("mnuhelp"));
    m_lstmnu = new QMenu(QStringLiteral("修改"), this);
    m_lstmnu->setObjectName(QStringLiteral("lstmnu"));

    // Qt flips a checkable item before it reports the click; the handlers flip their own check
    // marks, so undo Qt's flip first.
    auto untoggled = [](QAction* a, auto handler) {
        return [a, handler] {
            a->setChecked(!a->isChecked());
            handler();
        };
    };

    // The check-mark item must exist before the commands that read it.
    auto* keepProportions = new QAction(QStringLiteral("保持原来比例"), this);
    m_playback = std::make_unique<PlaybackCommands>(*m_control, *keepProportions);
    PlaybackCommands* pc = m_playback.get();
    auto play = [pc](void (PlaybackCommands::*f)()) { return [pc, f] { (pc->*f)(); }; };

    if (!m_services.openDialog)
        m_services.openDialog = std::make_shared<QtOpenDialog>();
    m_playlistWindow = std::make_unique<Form1PlaylistWindow>(*this);
    m_playlist = std::make_unique<PlaylistCommands>(*m_playlistWindow, *m_list, *m_control,
                                                    *m_services.openDialog);
    PlaylistCommands* lc = m_playlist.get();
    // .swf files dropped on the window are added as Open adds them.
    new MovieDrop(this, [lc](const QStringList& paths) { lc->addDroppedFiles(paths); });

    addItem(file, "cmdopen", QStringLiteral("打开"), QKeySequence(QStringLiteral("Ctrl+O")),
            [lc] { lc->cmdopen_Click(); });
    addItem(file, "cmdclose", QStringLiteral("关闭"), QKeySequence(QStringLiteral("Ctrl+E")),
            play(&PlaybackCommands::cmdclose_Click));
    addItem(file, "cmdexit", QStringLiteral("退出"), QKeySequence(QStringLiteral("Ctrl+X")),
            &Form1::cmdexit_Click);

    addItem(playback, "cmdplay", QStringLiteral("播放"), QKeySequence(QStringLiteral("Ctrl+P")),
            play(&PlaybackCommands::cmdplay_Click));
    addItem(playback, "cmdpause", QStringLiteral("暂停"), QKeySequence(QStringLiteral("Ctrl+Z")),
            play(&PlaybackCommands::cmdpause_Click));
    addItem(playback, "cmdpreframe", QStringLiteral("上一帧"),
            QKeySequence(QStringLiteral("Ctrl+U")), play(&PlaybackCommands::cmdpreframe_Click));
    addItem(playback, "cmdnextframe", QStringLiteral("下一帧"),
            QKeySequence(QStringLiteral("Ctrl+D")), play(&PlaybackCommands::cmdnextframe_Click));
    addItem(playback, "cmdfastgo", QStringLiteral("快进"), QKeySequence(QStringLiteral("Ctrl+G")),
            play(&PlaybackCommands::cmdfastgo_Click));
    addItem(playback, "cmdfastback", QStringLiteral("快退"), QKeySequence(QStringLiteral("Ctrl+B")),
            play(&PlaybackCommands::cmdfastback_Click));
    addItem(playback, "cmdstop", QStringLiteral("停止"), QKeySequence(QStringLiteral("Ctrl+T")),
            play(&PlaybackCommands::cmdstop_Click));
    keepProportions->setObjectName(QStringLiteral("mnudisplay"));
    keepProportions->setShortcut(QKeySequence(QStringLiteral("Ctrl+L")));
    keepProportions->setCheckable(true);
    playback->addAction(keepProportions);
    connect(keepProportions, &QAction::triggered, this,
            untoggled(keepProportions, play(&PlaybackCommands::mnudisplay_Click)));
    auto* fullScreen = new QAction(QStringLiteral("全屏播放"), this);
    fullScreen->setObjectName(QStringLiteral("mnuquanping"));
    fullScreen->setShortcut(QKeySequence(QStringLiteral("Ctrl+F")));
    fullScreen->setCheckable(true);
    playback->addAction(fullScreen);
    connect(fullScreen, &QAction::triggered, this,
            untoggled(fullScreen, [this] { mnuquanping_Click(); }));

    addItem(help, "cmdabout", QStringLiteral("关于本软件"), QKeySequence(QStringLiteral("Ctrl+H")),
            &Form1::cmdabout_Click);

    QAction* sc = addItem(m_lstmnu, "sc", QStringLiteral("删除本条目"),
                          QKeySequence(QKeySequence::Delete), [lc] { lc->sc_Click(); });
    // Del works in the list itself too, not only while the context menu is open.
    sc->setShortcutContext(Qt::WidgetShortcut);
    m_list->addAction(sc);
}

QAction* Form1::action(const char* name) const {
    return findChild<QAction*>(QLatin1String(name));
}

QRectF Form1::controlRect(const QWidget* control) const {
    const QRect g = control->geometry();
    return QRectF(m_scale.toLogicalX(g.x()), m_scale.toLogicalY(g.y()),
                  m_scale.toLogicalWidth(g.width()), m_scale.toLogicalHeight(g.height()));
}

void Form1::setControlLeft(QWidget* control, float left) {
    control->move(m_scale.toPixelsX(left), control->y());
}
void Form1::setControlTop(QWidget* control, float top) {
    control->move(control->x(), m_scale.toPixelsY(top));
}
void Form1::setControlWidth(QWidget* control, float width) {
    control->resize(m_scale.toPixelsWidth(width), control->height());
}
void Form1::setControlHeight(QWidget* control, float height) {
    control->resize(control->width(), m_scale.toPixelsHeight(height));
}

void Form1::Form_Load(const QStringList& moviePaths) {
    const auto stored = playlistfile::read(m_services.playlistPath);
    if (stored.failed) {
        m_playlistUnreadable = true;
        std::fprintf(stderr, "reelwick: cannot read playlist %s: %s\n",
                     qUtf8Printable(m_services.playlistPath), qUtf8Printable(stored.error));
    }
    // The list holds no more than Open lets it reach; the rest goes back into the file at
    // shutdown, after the list and in order, so that nothing is lost.
    QStringList entries = stored.entries;
    if (entries.size() > PlaylistBox::kMaxEntries) {
        m_leftOver = entries.mid(PlaylistBox::kMaxEntries);
        entries.resize(PlaylistBox::kMaxEntries);
        std::fprintf(stderr,
                     "reelwick: playlist %s has more than %d entries; %lld are not shown and "
                     "are kept at its end\n",
                     qUtf8Printable(m_services.playlistPath), PlaylistBox::kMaxEntries,
                     static_cast<long long>(m_leftOver.size()));
    }
    m_list->addItems(entries);

    if (!moviePaths.isEmpty()) {
        setCaption(movieCaption(moviePaths.first()));
        m_control->Movie(moviePaths.first());
        // Appended without checking for duplicates, and none is selected.
        QStringList listed;
        for (const QString& path : moviePaths) {
            if (playlistfile::storable(path))
                listed.append(path);
            else
                std::fprintf(stderr,
                             "reelwick: not adding to the playlist (line break in path): %s\n",
                             qUtf8Printable(playlistfile::oneLine(path)));
        }
        const qsizetype room = PlaylistBox::kMaxEntries - m_list->count();
        if (listed.size() > room) {
            std::fprintf(stderr, "reelwick: the playlist is full; %lld movies not added\n",
                         static_cast<long long>(listed.size() - room));
            listed.resize(room);
        }
        m_list->addItems(listed);
    }
    updateHorizontalExtent(*m_list);

    // Until the window is shown it has no frame: geometry() is the client area and the menu
    // bar. The frame is added when the window is first exposed (see eventFilter).
    const QRect frame = frameGeometry();
    const double tpp = m_scale.twipsPerPixel();
    m_startup = {m_scale.left(), m_scale.top(), float(frame.width() * tpp),
                 float(frame.height() * tpp)};
    m_startupFramePending = !isVisible();
}

void Form1::setCaption(const QString& caption) {
    m_fullScreen.captionSet(caption);
    setWindowTitle(caption);
}

WindowStyle Form1::windowStyle() const {
    return m_surface->windowStyle();
}

void Form1::Form_Resize() {
    layOutOnResize(*m_surface);
}

void Form1::mnuquanping_Click() {
    m_fullScreen.toggle(*m_surface);
    // The movie's stage.displayState follows the window, whoever asked.
    if (auto* flash = qobject_cast<FlashControl*>(m_control->widget()))
        flash->setFullScreen(m_surface->fullScreenChecked());
}

// Through the menu item, so that its check mark is the mode, as for the user's command.
void Form1::movieRequestedFullScreen(bool on) {
    QAction* item = action("mnuquanping");
    if (item && item->isChecked() != on)
        item->trigger();
}

// A minimized window's client area has no size, although Qt keeps its widgets' sizes.
void Form1::clientAreaChanged() {
    const QSize size = isMinimized() ? QSize(0, 0) : m_client->size();
    m_scale.setClientSize(size);
    Form_Resize();
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_client && event->type() == QEvent::Resize) {
        clientAreaChanged();
    } else if (watched == windowHandle() && event->type() == QEvent::Expose &&
               m_startupFramePending && windowHandle()->isExposed()) {
        m_startupFramePending = false;
        windowHandle()->removeEventFilter(this);
        const QRect frame = frameGeometry();
        const double tpp = m_scale.twipsPerPixel();
        m_startup.width = float(frame.width() * tpp);
        m_startup.height = float(frame.height() * tpp);
    }
    return QMainWindow::eventFilter(watched, event);
}

void Form1::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    const auto old = static_cast<QWindowStateChangeEvent*>(event)->oldState();
    if ((old ^ windowState()) & Qt::WindowMinimized)
        clientAreaChanged();
}

void Form1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_startupFramePending && windowHandle())
        windowHandle()->installEventFilter(this);
}

void Form1::savePlaylist() {
    // A file we could not read may hold the user's playlist behind a permission problem: it is
    // never replaced.
    if (m_playlistUnreadable) {
        std::fprintf(stderr, "reelwick: playlist %s was unreadable at start-up; not replacing it\n",
                     qUtf8Printable(m_services.playlistPath));
        return;
    }
    QStringList entries;
    for (int i = 0; i < m_list->count(); ++i)
        entries.append(m_list->item(i)->text());
    entries += m_leftOver;
    QString error;
    if (!playlistfile::write(m_services.playlistPath, entries, &error))
        std::fprintf(stderr, "reelwick: cannot write playlist %s: %s\n",
                     qUtf8Printable(m_services.playlistPath), qUtf8Printable(error));
}

void Form1::endProgram() {
    m_ending = true;
    if (m_about)
        m_about->close();
    if (m_services.endProgram)
        m_services.endProgram();
    else
        QCoreApplication::quit();
}

void Form1::closeEvent(QCloseEvent* event) {
    if (!m_ending) {
        savePlaylist();
        endProgram();
    }
    event->accept();
}

void Form1::cmdexit_Click() {
    // Leaving by the menu keeps the user's changes just as closing the window does.
    savePlaylist();
    endProgram();
}

void Form1::cmdabout_Click() {
    if (!m_about)
        m_about = new Form2(windowIcon());
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

Form2* Form1::aboutWindow() const {
    return m_about;
}
