#include "controlcharstripper.h"

namespace DVK {

CControlCharStripper::CControlCharStripper(QObject* parent)
    : QValidator(parent)
{
}

bool CControlCharStripper::isStripped(QChar c)
{
    const QChar::Category category = c.category();
    return category == QChar::Other_Control || category == QChar::Separator_Line ||
           category == QChar::Separator_Paragraph;
}

QString CControlCharStripper::stripped(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (!isStripped(c))
            out += c;
    }
    return out;
}

QValidator::State CControlCharStripper::validate(QString& input, int& pos) const
{
    // Keep the cursor where the user left it, less the characters removed before it.
    int removedBeforeCursor = 0;
    QString out;
    out.reserve(input.size());
    for (int i = 0; i < input.size(); ++i) {
        if (isStripped(input.at(i))) {
            if (i < pos)
                ++removedBeforeCursor;
        } else {
            out += input.at(i);
        }
    }
    if (out.size() != input.size()) {
        input = out;
        pos = qMax(0, pos - removedBeforeCursor);
    }
    return Acceptable;
}

} // namespace DVK
