// The query box holds one line, as a one-line edit box does: a paste or a
// drop with line breaks in it puts in its first line only, and text set from
// outside (the command line, another velmora process) is cut the same way.
#pragma once

#include <QString>

class QLineEdit;

namespace velmora {

// Text up to its first line break: LF, or CR LF; a lone CR is text.
QString FirstLineOf(const QString& text);

// Keeps box one line from now on.
void KeepOneLine(QLineEdit* box);

}  // namespace velmora
