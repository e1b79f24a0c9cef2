// GuardSignals: which signals the terminal guard takes over during a hidden read, the action
// it installs for them, and the stack its handlers run on. Internal to the library; not
// installed.
#ifndef HXCONSOLE_GUARDSIGNALS_H
#define HXCONSOLE_GUARDSIGNALS_H

#include <csignal>

namespace hxconsole
{

// What a signal's default action does to the process, as far as the guard cares.
enum class Role { None, Ends, Stops, Continues };

Role RoleOf(int sig);

// The action that runs `handler` on the alternate stack, with every guarded signal blocked
// while it runs.
struct sigaction ActionFor(void (*handler)(int));

// True when the disposition is the default one, which the guard may replace.
bool AtDefault(const struct sigaction& action);

// The alternate stack the reading thread's handlers run on, so that a stack overflow in that
// thread still reaches a handler that puts the terminal back. The caller's own setting, if
// any, is kept aside and given back.
class SignalStack
{
  public:
    void Use();
    void GiveBack();

  private:
    stack_t m_callers{};
    bool m_replaced = false;
};

} // namespace hxconsole

#endif
