#pragma once

#include <optional>

class QAccessibleInterface;
class QObject;
class QString;
class QVariant;

// What a screen reader reads of the custom controls: their accessible
// interfaces, for Qt's accessibility to ask for by class name. Null for any
// other object, which Qt describes itself.
QAccessibleInterface *ControlsAccessibleFactory(const QString &className, QObject *object);

// Installs the factory with Qt, once per process; later calls do nothing.
void InstallAccessibleFactory();

// A value a screen reader sets, as an integer within min and max, rounded to
// the nearest; none for what is not a number.
std::optional<int> AccessibleValueInRange(const QVariant &value, int min, int max);
