#pragma once
// The engine's stack of game states as the game and its screens use it: push, pop, pop to a
// state, the current state, and letting go of states about to be deleted. The engine implements
// it; tests hand their own.
#include <functional>

class MLP;

class MLPStack {
public:
    virtual ~MLPStack() = default;
    // The state becomes current; the one it covers goes on the stack (deactivated).
    virtual void PushMLP(MLP* mlp) = 0;
    // Back to the state under the current one (an empty stack is logged and ignored).
    virtual void PopMLP() = 0;
    // Pops until the state is current (one not on the stack is logged and ignored).
    virtual void PopToMLP(MLP* target) = 0;
    // The state shown this frame; null when none.
    virtual MLP* CurrentMLP() const = 0;
    // Takes every state the test answers true for off the stack and out of the current and
    // previous places, without activating or deactivating anything: their owner deletes them.
    virtual void ForgetMLPs(const std::function<bool(const MLP*)>& owned) = 0;

protected:
    MLPStack() = default;
    MLPStack(const MLPStack&) = default;
    MLPStack& operator=(const MLPStack&) = default;
};
