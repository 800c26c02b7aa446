// One modal piece of work at a time on a window. A modal loop (a message
// box, a prompt, a file dialog, a menu) dispatches the messages posted to
// the window meanwhile; without the gate each posted command could open its
// own modal window inside the first, as deep as the stack allows.
#pragma once

namespace qz_support {

class ModalGate {
public:
    // Held while it lives; false when the gate was already held, and then
    // the work is dropped.
    class [[nodiscard]] Pass {
    public:
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;
        ~Pass() {
            if (gate_) gate_->held_ = false;
        }
        explicit operator bool() const { return gate_ != nullptr; }

    private:
        friend class ModalGate;
        explicit Pass(ModalGate* gate) : gate_(gate) {
            if (gate_) gate_->held_ = true;
        }
        ModalGate* gate_;
    };

    Pass TryEnter() { return Pass(held_ ? nullptr : this); }

private:
    bool held_ = false;
};

}  // namespace qz_support
