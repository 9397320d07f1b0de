#pragma once
// The × button in the title bar of a CCustomDialog.

#include <QPushButton>

namespace WB {

class CDialogCloseButton : public QPushButton
{
    Q_OBJECT
public:
    explicit CDialogCloseButton(QWidget* parent);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace WB
