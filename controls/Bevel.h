#pragma once

#include <QWidget>

// A lowered or raised box: a one-pixel 3-D frame, as used for grooves.
class TBevel : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(bool Lowered READ Lowered WRITE SetLowered)

public:
    explicit TBevel(QWidget *parent = nullptr);

    bool Lowered() const { return m_lowered; }
    void SetLowered(bool lowered);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_lowered = true;
};
