#pragma once

// "影片信息" (movie information): a small dialog of a movie's facts, one row each.

#include "swf/movieinfo.h"

#include <QDialog>
#include <QList>
#include <QPair>

// Caption and text of each row, in the order shown.
QList<QPair<QString, QString>> movieInfoRows(const swf::MovieInfo& info);

class MovieInfoDialog : public QDialog {
    Q_OBJECT
public:
    explicit MovieInfoDialog(const swf::MovieInfo& info, QWidget* parent = nullptr);
};
