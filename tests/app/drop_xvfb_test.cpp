// Movies dropped on the main window by a real XDND drag from another X client: .swf files are
// added to the playlist as Open adds them (in order, no duplicates) and the first is loaded;
// other files are ignored, and a drop with no movie is refused.

#include "app/form1.h"
#include "playback/flashcontrol.h"
#include "playlist/moviedrop.h"

#include "testenv.h"

#include <QDir>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <atomic>
#include <thread>

namespace {

const QString kCorpus = QDir::cleanPath(testenv::corpusDir()) + QLatin1Char('/');

// The dragging side of XDND (version 5), on a display connection and thread of its own so the
// window under test runs its event loop meanwhile: enter, position, then drop if the target
// accepts, serving the uri list when the target asks for it.
class XdndSource {
public:
    struct Outcome {
        bool connected = false;
        bool accepted = false; // XdndStatus said yes
        bool finished = false; // XdndFinished arrived after the drop
        bool served = false;   // the target fetched the uri list
    };

    static Outcome drag(unsigned long target, QPoint rootPos, const QStringList& paths) {
        Outcome out;
        Display* dpy = XOpenDisplay(nullptr);
        if (!dpy)
            return out;
        out.connected = true;
        auto atom = [dpy](const char* name) { return XInternAtom(dpy, name, False); };
        const Atom aware = atom("XdndAware"), enter = atom("XdndEnter"),
                   position = atom("XdndPosition"), status = atom("XdndStatus"),
                   drop = atom("XdndDrop"), leave = atom("XdndLeave"),
                   finished = atom("XdndFinished"), selection = atom("XdndSelection"),
                   copy = atom("XdndActionCopy"), uriList = atom("text/uri-list");
        (void)aware;
        const Window source = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
        XSetSelectionOwner(dpy, selection, source, CurrentTime);

        QByteArray uris;
        for (const QString& p : paths)
            uris += QUrl::fromLocalFile(p).toEncoded() + "\r\n";

        auto send = [&](Atom type, long l1, long l2, long l3, long l4) {
            XEvent e{};
            e.xclient.type = ClientMessage;
            e.xclient.display = dpy;
            e.xclient.window = target;
            e.xclient.message_type = type;
            e.xclient.format = 32;
            e.xclient.data.l[0] = long(source);
            e.xclient.data.l[1] = l1;
            e.xclient.data.l[2] = l2;
            e.xclient.data.l[3] = l3;
            e.xclient.data.l[4] = l4;
            XSendEvent(dpy, target, False, NoEventMask, &e);
            XFlush(dpy);
        };
        // Waits for a client message of `type` to the source, answering selection requests.
        auto wait = [&](Atom type, XEvent& got) {
            QElapsedTimer t;
            t.start();
            while (t.elapsed() < 10000) {
                while (XPending(dpy)) {
                    XEvent e;
                    XNextEvent(dpy, &e);
                    if (e.type == SelectionRequest) {
                        const XSelectionRequestEvent& r = e.xselectionrequest;
                        XEvent reply{};
                        reply.xselection.type = SelectionNotify;
                        reply.xselection.display = dpy;
                        reply.xselection.requestor = r.requestor;
                        reply.xselection.selection = r.selection;
                        reply.xselection.target = r.target;
                        reply.xselection.time = r.time;
                        reply.xselection.property = None;
                        if (r.target == uriList) {
                            XChangeProperty(dpy, r.requestor, r.property, uriList, 8,
                                            PropModeReplace,
                                            reinterpret_cast<const unsigned char*>(uris.data()),
                                            int(uris.size()));
                            reply.xselection.property = r.property;
                            out.served = true;
                        }
                        XSendEvent(dpy, r.requestor, False, NoEventMask, &reply);
                        XFlush(dpy);
                    } else if (e.type == ClientMessage && e.xclient.message_type == type) {
                        got = e;
                        return true;
                    }
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            return false;
        };

        send(enter, 5L << 24, long(uriList), 0, 0);
        send(position, 0, (long(rootPos.x()) << 16) | rootPos.y(), CurrentTime, long(copy));
        XEvent reply;
        if (wait(status, reply) && (reply.xclient.data.l[1] & 1)) {
            out.accepted = true;
            send(drop, 0, CurrentTime, 0, 0);
            out.finished = wait(finished, reply);
        } else {
            send(leave, 0, 0, 0, 0);
        }
        XDestroyWindow(dpy, source);
        XCloseDisplay(dpy);
        return out;
    }
};

} // namespace

class DropXvfbTest : public QObject {
    Q_OBJECT
private slots:
    void moviePathsKeepsLocalMoviesOnceInOrder() {
        REELWICK_QNEED_CORPUS();
        QMimeData data;
        const QString a = kCorpus + QStringLiteral("ffmpeg-generated/testsrc_png.swf");
        const QString b = kCorpus + QStringLiteral("ffmpeg-generated/sine_mp3.swf");
        data.setUrls({QUrl::fromLocalFile(b), QUrl::fromLocalFile(kCorpus + "README.md"),
                      QUrl(QStringLiteral("https://example.com/x.swf")), QUrl::fromLocalFile(a),
                      QUrl::fromLocalFile(b), QUrl::fromLocalFile(kCorpus + "missing.swf"),
                      QUrl::fromLocalFile(kCorpus + "ffmpeg-generated")});
        QCOMPARE(MovieDrop::moviePaths(&data), QStringList({b, a}));
        QVERIFY(MovieDrop::moviePaths(nullptr).isEmpty());
    }

    void realDropsAddMoviesAsOpenDoes() {
        REELWICK_QNEED_CORPUS();
        QTemporaryDir dir;
        auto* control = new FlashControl;
        control->setAudioMode(AudioOutput::Mode::Silent);
        Form1 window(
            Form1Services{control, dir.filePath(QStringLiteral("play.lst")), [] {}, nullptr});
        window.Form_Load({});
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.List1()->count(), 0);

        const QString a = kCorpus + QStringLiteral("ffmpeg-generated/testsrc_png.swf");
        const QString b = kCorpus + QStringLiteral("ffmpeg-generated/testsrc_flv1.swf");
        const QString c = kCorpus + QStringLiteral("ffmpeg-generated/sine_mp3.swf");
        const QString text = kCorpus + QStringLiteral("README.md");
        const unsigned long target = window.winId();
        const QPoint onMovie = control->mapToGlobal(control->rect().center());
        const QPoint onList = window.List1()->mapToGlobal(window.List1()->rect().center());

        auto dragInBackground = [&](QPoint at, QStringList files) {
            std::atomic<bool> done{false};
            XdndSource::Outcome outcome;
            std::thread t([&] {
                outcome = XdndSource::drag(target, at, files);
                done = true;
            });
            while (!done)
                QTest::qWait(10);
            t.join();
            return outcome;
        };
        auto entries = [&] {
            QStringList out;
            for (int i = 0; i < window.List1()->count(); ++i)
                out << window.List1()->entryText(i);
            return out;
        };

        // Movies, a text file and a movie twice: the movies once each, in order, first loaded.
        auto o = dragInBackground(onMovie, {a, text, b, a});
        QVERIFY(o.connected);
        QVERIFY(o.accepted);
        QVERIFY(o.served);
        QVERIFY(o.finished);
        QTRY_COMPARE(entries(), QStringList({a, b}));
        QCOMPARE(control->moviePath(), a);
        QCOMPARE(window.List1()->currentEntry(), 0);
        QVERIFY(window.windowTitle().startsWith(a));

        // Onto the playlist this time: one listed already, one new. The first dropped is loaded
        // and its existing entry made current; the new one goes at the end.
        o = dragInBackground(onList, {b, c});
        QVERIFY(o.accepted);
        QTRY_COMPARE(entries(), QStringList({a, b, c}));
        QCOMPARE(control->moviePath(), b);
        QCOMPARE(window.List1()->currentEntry(), 1);

        // Nothing but other files: refused, nothing changes.
        o = dragInBackground(onMovie, {text});
        QVERIFY(o.connected);
        QVERIFY(!o.accepted);
        QCOMPARE(entries(), QStringList({a, b, c}));
        QCOMPARE(control->moviePath(), b);
    }
};

QTEST_MAIN(DropXvfbTest)
#include "drop_xvfb_test.moc"
