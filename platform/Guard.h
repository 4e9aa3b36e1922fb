#pragma once

#include <functional>
#include <utility>

// Runs an event handler and shows any failure that leaves it in the standard
// error box, so that no exception unwinds through Qt's event dispatch.
void RunGuarded(const std::function<void()> &handler);

// A slot object for connect(): calls receiver->handler(args...) through RunGuarded.
//   connect(button, &QPushButton::clicked, this, Guarded(this, &TMainForm1::Button1Click));
template<typename R, typename Base, typename... Args>
auto Guarded(R *receiver, void (Base::*handler)(Args...))
{
    return [receiver, handler](Args... args) {
        RunGuarded([&] { (receiver->*handler)(std::forward<Args>(args)...); });
    };
}
