#pragma once
// Restyles a widget when it turns read-only or back, so style sheet rules on readOnly follow.

#include <QObject>

class QWidget;

namespace WB {

class CReadOnlyRepolisher : public QObject
{
    Q_OBJECT
public:
    // Watches widget; a child of it.
    explicit CReadOnlyRepolisher(QWidget* widget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace WB
