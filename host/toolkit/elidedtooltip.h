#pragma once
// Shows a widget's full text as its tool tip, but only while the widget cannot show it whole.

#include <QObject>
#include <QString>

#include <functional>

class QWidget;

namespace WB {

class CElidedToolTip : public QObject
{
    Q_OBJECT
public:
    // fullText: the whole text; isElided: whether it is cut at the widget's current size.
    // The filter is a child of widget and dies with it.
    CElidedToolTip(QWidget* widget, std::function<QString()> fullText, std::function<bool()> isElided);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_widget;
    std::function<QString()> m_fullText;
    std::function<bool()> m_isElided;
};

} // namespace WB
