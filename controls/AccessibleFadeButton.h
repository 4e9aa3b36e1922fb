#pragma once

#include "AccessibleControl.h"

class TPCVFadeButton;

// A fade button as a screen reader reads it: a push button named by its
// caption, or by its hint where the caption is only a symbol ("×", "?"), with
// a Press action that clicks it as the mouse does.
class TAccessibleFadeButton : public TAccessibleControl
{
public:
    explicit TAccessibleFadeButton(TPCVFadeButton *button);

    QString text(QAccessible::Text t) const override;
    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;

    // The name for a caption and a hint: the caption, unless it holds no
    // letter or digit; then the hint without its leading blank.
    static QString NameFor(const QString &caption, const QString &hint);

private:
    TPCVFadeButton *button() const;
};
