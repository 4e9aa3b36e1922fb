#include "AccessibleFactory.h"

#include "AccessibleComboBox.h"
#include "AccessibleDigitBar.h"
#include "AccessibleFadeButton.h"
#include "AccessibleFolderEdit.h"
#include "AccessiblePanel.h"
#include "AccessibleProgressBar.h"
#include "AccessibleShadowLabel.h"
#include "AccessibleTrackBar.h"
#include "DigitBar.h"
#include "FolderBrowseEdit.h"
#include "MCCBox.h"
#include "PCVFadeButton.h"
#include "Panel.h"
#include "ScreenReaderNotice.h"
#include "ShadoLbl.h"
#include "TrackBar.h"
#include "dxfProgressBar.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QLineEdit>
#include <QVariant>

#include <algorithm>
#include <cmath>

namespace {
template<class Control, class Accessible> QAccessibleInterface *Make(QObject *object)
{
    return new Accessible(static_cast<Control *>(object));
}

QAccessibleInterface *MakeNotice(QObject *object)
{
    return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Notification);
}

struct AccessibleClass
{
    const QMetaObject *control;
    QAccessibleInterface *(*make)(QObject *);
};

// Qt asks with the object's own class name first, then with each base class
// name in turn: a class derived from a control is described as that control.
const AccessibleClass Classes[] = {
    {&TPCVFadeButton::staticMetaObject, Make<TPCVFadeButton, TAccessibleFadeButton>},
    {&TDigitBar::staticMetaObject, Make<TDigitBar, TAccessibleDigitBar>},
    {&TTrackBar::staticMetaObject, Make<TTrackBar, TAccessibleTrackBar>},
    {&TShadowLabel::staticMetaObject, Make<TShadowLabel, TAccessibleShadowLabel>},
    {&TdxfProgressBar::staticMetaObject, Make<TdxfProgressBar, TAccessibleProgressBar>},
    {&TPanel::staticMetaObject, Make<TPanel, TAccessiblePanel>},
    {&TMultiColComboBox::staticMetaObject, Make<QComboBox, TAccessibleComboBox>},
    {&TScreenReaderNotice::staticMetaObject, MakeNotice},
    {&TFolderBrowseEdit::staticMetaObject, Make<QLineEdit, TAccessibleFolderEdit>},
};
} // namespace

QAccessibleInterface *ControlsAccessibleFactory(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    for (const AccessibleClass &c : Classes)
        if (className == QLatin1String(c.control->className()))
            return c.make(object);
    // A form, a plain widget that is a window of its own, is a frame named by
    // its title (Qt would describe it as an unnamed filler).
    auto *widget = static_cast<QWidget *>(object);
    if (className == QLatin1String("QWidget") && widget->windowType() == Qt::Window)
        return new QAccessibleWidget(widget, QAccessible::Window);
    return nullptr;
}

void InstallAccessibleFactory()
{
    static const bool installed = [] {
        QAccessible::installFactory(ControlsAccessibleFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

std::optional<int> AccessibleValueInRange(const QVariant &value, int min, int max)
{
    bool ok = false;
    const double v = value.toDouble(&ok);
    if (!ok || std::isnan(v))
        return std::nullopt;
    return int(std::lround(std::clamp(v, double(min), double(std::max(min, max)))));
}
