#include "Guard.h"

#include "Dialogs.h"
#include "Errors.h"

void RunGuarded(const std::function<void()> &handler)
{
    try {
        handler();
    } catch (const EAbort &) {
        // a silent stop
    } catch (const Exception &e) {
        ShowErrorBox(e.message());
    } catch (const std::exception &e) {
        ShowErrorBox(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowErrorBox(QString());
    }
}
