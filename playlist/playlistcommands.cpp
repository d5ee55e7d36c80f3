#include "playlist/playlistcommands.h"

#include "common/captions.h"
#include "playback/moviecontrol.h"
#include "playlist/opendialog.h"
#include "playlist/playlistbox.h"
#include "playlist/playlistfile.h"

#include <QDir>
#include <cstdio>

namespace {

const QString kUnloadMovie = QStringLiteral("http://");

} // namespace

std::optional<DlgFileInfo> GetDlgFileInfo(const QString& strFilename, const QString& folder) {
    if (strFilename.size() < folder.size())
        return std::nullopt;
    const QString rest = strFilename.right(strFilename.size() - folder.size());
    DlgFileInfo info{folder, {}};
    if (rest.startsWith(QChar(u'\0'))) {
        for (QChar c : rest) {
            if (c == QChar(u'\0'))
                info.names.append(QString());
            else
                info.names.last().append(c);
        }
    } else {
        info.names.append(rest.startsWith(QLatin1Char('/')) ? rest.mid(1) : rest);
    }
    if (!info.folder.endsWith(QLatin1Char('/')))
        info.folder += QLatin1Char('/');
    return info;
}

PlaylistCommands::PlaylistCommands(PlaylistWindow& window, PlaylistBox& list, MovieControl& control,
                                   OpenDialog& dialog)
    : m_window(window), m_list(list), m_control(control), m_dialog(dialog) {
    connect(&m_list, &PlaylistBox::entryChosen, this, &PlaylistCommands::List1_Click);
    connect(&m_list, &PlaylistBox::mouseDown, this, &PlaylistCommands::List1_MouseDown);
}

QString PlaylistCommands::chosenPath(int i) const {
    return m_selection.folder + m_selection.names.at(i - 1);
}

void PlaylistCommands::cmdopen_Click() {
    const std::optional<QString> result = m_dialog.run(m_list.window());
    if (!result)
        return;
    // The dialog has left the current directory at the chosen files' folder.
    std::optional<DlgFileInfo> split = GetDlgFileInfo(*result, QDir::currentPath());
    if (!split)
        return;
    addSelection(std::move(*split));
}

void PlaylistCommands::addDroppedFiles(const QStringList& paths) {
    // Dropped files may come from several folders: each name carries its whole path.
    DlgFileInfo selection;
    for (const QString& p : paths) {
        if (!p.isEmpty())
            selection.names.append(p);
    }
    if (!selection.names.isEmpty())
        addSelection(std::move(selection));
}

void PlaylistCommands::addSelection(DlgFileInfo selection) {
    m_selection = std::move(selection);
    bool complete = true;
    for (int i = 1; i <= m_selection.names.size() && complete; ++i)
        complete = jccfxm(i);
    if (complete) {
        updateHorizontalExtent(m_list);
        const QString p = chosenPath(1);
        m_window.setCaption(movieCaption(p));
        m_control.Movie(p);
        // The first entry that is exactly P: the one just added, or the one already listed.
        m_list.setCurrentEntry(m_list.findExact(p));
    }
    m_selection = {};
}

bool PlaylistCommands::jccfxm(int i) {
    const QString path = chosenPath(i);
    if (!playlistfile::storable(path)) {
        std::fprintf(stderr, "reelwick: not adding to the playlist (line break in path): %s\n",
                     qUtf8Printable(playlistfile::oneLine(path)));
        return true;
    }
    // Searched from entry 1 to the last, then entry 0, as the list's own search runs.
    const int r = m_list.findExact(path, 0);
    if (!m_selection.names.at(i - 1).isEmpty() && r == -1) {
        if (m_list.count() >= PlaylistBox::kMaxEntries)
            return false;
        m_list.addItem(path);
    } else {
        m_list.setCurrentEntry(r);
    }
    return true;
}

void PlaylistCommands::List1_Click() {
    const int current = m_list.currentEntry();
    const QString text = current >= 0 ? m_list.entryText(current) : QString();
    m_window.setCaption(movieCaption(text));
    m_control.Movie(text);
}

void PlaylistCommands::List1_MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers,
                                       const QPoint& pos) {
    if (button == Qt::RightButton)
        m_window.popupListMenu(m_list.mapToGlobal(pos));
}

void PlaylistCommands::sc_Click() {
    List1_ItemCheck(qint16(m_list.currentEntry()));
}

void PlaylistCommands::List1_ItemCheck(qint16) {
    if (m_list.selectedCount() != 1)
        return;
    m_list.removeEntry(m_list.currentEntry());
    // The first remaining entry becomes current and is loaded, whichever one was removed.
    m_list.setCurrentEntry(m_list.count() > 0 ? 0 : -1);
    if (m_list.count() == 0) {
        m_window.setCaption(kAppCaption);
        m_control.Movie(kUnloadMovie);
    }
}
