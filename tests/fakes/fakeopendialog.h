#pragma once

#include "playlist/opendialog.h"

#include <QDir>
#include <deque>

// Stands in for the file dialog: hands out prepared results in turn, entering each one's folder
// first as the real dialog does. An empty queue is a cancel.
class FakeOpenDialog : public OpenDialog {
public:
    struct Choice {
        QString folder;                // made the current directory; empty: left alone
        std::optional<QString> result; // empty: the user cancelled
    };
    std::deque<Choice> choices;
    int runs = 0;

    // Files chosen in `folder`, in the result's two forms.
    void choose(const QString& folder, const QStringList& names) {
        QString result = folder;
        if (names.size() == 1) {
            result += (folder.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/")) +
                      names.first();
        } else {
            for (const QString& n : names)
                result += QChar(u'\0') + n;
        }
        choices.push_back({folder, result});
    }
    void cancel() { choices.push_back({QString(), std::nullopt}); }

    std::optional<QString> run(QWidget*) override {
        ++runs;
        if (choices.empty())
            return std::nullopt;
        Choice c = choices.front();
        choices.pop_front();
        if (c.result && !c.folder.isEmpty() && !QDir::setCurrent(c.folder))
            return std::nullopt;
        return c.result;
    }
};
