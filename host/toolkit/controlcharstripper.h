#pragma once
// The validator behind DVK::CSafeLineEdit: it removes control characters instead of refusing.

#include <QValidator>

namespace DVK {

class CControlCharStripper : public QValidator
{
    Q_OBJECT
public:
    explicit CControlCharStripper(QObject* parent);
    State validate(QString& input, int& pos) const override;
    // Whether c is removed: C0/C1 controls, DEL, and line or paragraph separators.
    static bool isStripped(QChar c);
    static QString stripped(const QString& text);
};

} // namespace DVK
