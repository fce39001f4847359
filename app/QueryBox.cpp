#include "app/QueryBox.h"

#include <QLineEdit>
#include <QValidator>

namespace velmora {

namespace {

// Where the first line break begins: an LF, or the CR of a CR LF (a lone CR
// is text, as in the result view); -1 when there is none.
qsizetype FirstBreak(const QString& text) {
  const qsizetype lf = text.indexOf(QLatin1Char('\n'));
  return lf > 0 && text[lf - 1] == QLatin1Char('\r') ? lf - 1 : lf;
}

// The box asks after every change, with the cursor just after what was put
// in. Since the box never holds a break before, every break lies in the new
// text, which ends at the cursor: its first line is what comes before the
// first break, and the box's text after the cursor stays.
class TOneLineValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int& pos) const override {
    const qsizetype cut = FirstBreak(input);
    if (cut < 0) return Acceptable;
    // A cursor before the break's LF (never expected) keeps nothing after it.
    const qsizetype lf = input.indexOf(QLatin1Char('\n'), cut);
    const qsizetype rest = pos > lf ? pos : input.size();
    input = input.left(cut) + FirstLineOf(input.mid(rest));
    pos = int(cut);
    return Acceptable;
  }
};

}  // namespace

QString FirstLineOf(const QString& text) {
  const qsizetype cut = FirstBreak(text);
  return cut < 0 ? text : text.left(cut);
}

void KeepOneLine(QLineEdit* box) {
  box->setValidator(new TOneLineValidator(box));
}

}  // namespace velmora
