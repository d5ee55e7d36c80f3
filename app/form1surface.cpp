#include "app/form1surface.h"

#include "app/form1.h"
#include "playback/moviecontrol.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QScreen>
#include <QThread>
#include <QWindow>
#include <functional>

namespace {

// A window manager that ignores a request must not hold up the command, nor the input queued
// behind it, for longer than this; the step then goes on with the geometry it has.
constexpr int kSettleTimeoutMs = 100;

// Lets the window system deliver what a request caused (new geometry, new state) until `done`
// holds. Input events wait, so no other command runs in between.
bool settle(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        if (done())
            return true;
        if (timer.elapsed() > kSettleTimeoutMs)
            return false;
        QThread::msleep(5);
    }
}

bool inNormalState(const QWidget& w) {
    return !(w.windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
}

QRect screenRect(const QWidget& w) {
    const QScreen* s = w.screen() ? w.screen() : QGuiApplication::primaryScreen();
    return s ? s->geometry() : QRect();
}

} // namespace

float Form1Surface::scaleWidth() const {
    return m_form.clientScale().width();
}
float Form1Surface::scaleHeight() const {
    return m_form.clientScale().height();
}
float Form1Surface::scaleTop() const {
    return m_form.clientScale().top();
}

float Form1Surface::panelWidth() const {
    return float(m_form.controlRect(m_form.Image1()).width());
}
float Form1Surface::panelHeight() const {
    return float(m_form.controlRect(m_form.Image1()).height());
}
void Form1Surface::setPanelHeight(float height) {
    m_form.setControlHeight(m_form.Image1(), height);
}
void Form1Surface::setListHeight(float height) {
    m_form.List1()->setHeightForWholeRows(m_form.clientScale().toPixelsHeight(height));
}

void Form1Surface::setMovieTop(float top) {
    m_form.setControlTop(m_form.ShockwaveFlash1().widget(), top);
}
void Form1Surface::setMovieLeft(float left) {
    m_form.setControlLeft(m_form.ShockwaveFlash1().widget(), left);
}
void Form1Surface::setMovieWidth(float width) {
    m_form.setControlWidth(m_form.ShockwaveFlash1().widget(), width);
}
void Form1Surface::setMovieHeight(float height) {
    m_form.setControlHeight(m_form.ShockwaveFlash1().widget(), height);
}

bool Form1Surface::fullScreenChecked() const {
    return m_form.action("mnuquanping")->isChecked();
}
void Form1Surface::setFullScreenChecked(bool checked) {
    m_form.action("mnuquanping")->setChecked(checked);
}

QString Form1Surface::title() const {
    return m_form.windowTitle();
}
void Form1Surface::setTitle(const QString& title) {
    m_form.setWindowTitle(title);
}

void Form1Surface::setWindowStyle(WindowStyle style) {
    // Only a window in its normal state has its rectangle changed by the frame change that
    // follows; from any other state, leaving that state brings back its normal rectangle.
    if (m_style.has(style::WS_CAPTION) && !style.has(style::WS_CAPTION)) {
        m_framed.reset();
        if (inNormalState(m_form))
            m_framed = QRect(m_form.pos(), m_form.size());
    }
    m_style = style;
    // Told to the platform window directly: QWidget::setWindowFlags would hide the window.
    const Qt::WindowFlags flags = style.toQtFlags();
    m_form.overrideWindowFlags(flags);
    if (QWindow* handle = m_form.windowHandle())
        handle->setFlags(flags);
}

QRect Form1Surface::outerRect() const {
    return m_form.frameGeometry();
}

void Form1Surface::frameChanged(const QRect& outer) {
    // A maximized or full-screen window keeps the rectangle its state gives it.
    if (!m_form.isVisible() || !inNormalState(m_form))
        return;
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    const QRect frame = m_form.frameGeometry();
    const QSize border = frame.size() - m_form.size();
    place(outer.topLeft(), outer.size() - border);
}

void Form1Surface::place(QPoint framePos, QSize size) {
    if (m_form.pos() == framePos && m_form.size() == size)
        return;
    m_form.resize(size);
    m_form.move(framePos);
    settle([&] { return m_form.pos() == framePos && m_form.size() == size; });
}

void Form1Surface::maximize() {
    // A maximized window keeps the desktop's bars; only the full-screen state gives the movie
    // the whole screen. From maximized it goes through normal: window managers differ on which
    // state wins when both are asked for, and some report a window maximized both ways as
    // full screen already.
    if (m_form.isVisible() &&
        (m_form.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen))) {
        m_form.setWindowState(Qt::WindowNoState);
        settle([&] { return m_form.geometry() != screenRect(m_form); });
    }
    m_form.setWindowState(Qt::WindowFullScreen);
    if (m_form.isVisible())
        settle([&] { return m_form.geometry() == screenRect(m_form); });
}

void Form1Surface::restoreNormal() {
    const bool wasNormal = inNormalState(m_form);
    m_form.showNormal();
    if (!m_form.isVisible())
        return;
    if (!wasNormal)
        settle([&] { return m_form.geometry() != screenRect(m_form); });
    // Only when the size is wrong: window managers may put a restored window a border width off
    // its place, and moving it again straight away can leave parts of it unpainted.
    if (m_framed && m_form.size() != m_framed->size())
        place(m_framed->topLeft(), m_framed->size());
}

ClientScale& Form1Surface::clientScale() {
    return m_form.clientScale();
}

QSizeF Form1Surface::screenSizeTwips() const {
    const double tpp = m_form.clientScale().twipsPerPixel();
    const QSize px = screenRect(m_form).size();
    return QSizeF(px.width() * tpp, px.height() * tpp);
}

StartupGeometry Form1Surface::startupGeometry() const {
    return m_form.startupGeometry();
}
