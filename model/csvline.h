#pragma once

#include <QString>
#include <QStringList>

// One line of a CSV file as every file of a recording writes it: the fields
// as they are, neither quoted nor escaped, each followed by a comma, and a
// line end after the last comma.
QString csvLine(const QStringList &fields);
