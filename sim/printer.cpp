#include "sim/printer.h"

namespace sim {

struct VirtualPrinter::State {
  explicit State(Clock& clock) : clock(clock) {}

  bool Ready() const { return online && !paper_out && !init_low && !busy; }

  std::uint32_t Lines() const {
    std::uint32_t lines = 0;
    if (!ack_low) lines |= VPORT_PIN(10);
    if (busy || !online || paper_out || init_low) lines |= VPORT_PIN(11);
    if (paper_out) lines |= VPORT_PIN(12);
    if (online) lines |= VPORT_PIN(13);
    if (online && !paper_out) lines |= VPORT_PIN(15);
    return lines;
  }

  // Runs `action` after `delay`, unless the printer is gone or was reset meanwhile.
  template <typename Action>
  void Later(std::uint64_t delay, Action action) {
    clock.After(delay, [weak = self, generation = generation, action] {
      const std::shared_ptr<State> state = weak.lock();
      if (state && state->generation == generation) action(*state);
    });
  }

  void Acknowledge() {
    busy = false;
    if (!ack_time) return;
    ack_low = true;
    const unsigned pulse = ++ack_pulses;
    // A later byte's pulse is that byte's to end.
    Later(ack_time, [pulse](State& state) {
      if (state.ack_pulses == pulse) state.ack_low = false;
    });
  }

  void Latch(std::uint32_t lines) {
    received.push_back(static_cast<BYTE>(lines >> 2));
    if (!busy_time) return Acknowledge();
    busy = true;
    Later(busy_time, [](State& state) { state.Acknowledge(); });
  }

  static void LinesChanged(void* context, std::uint32_t lines, std::uint32_t) {
    auto& state = *static_cast<State*>(context);
    const std::uint32_t falling = state.previous & ~lines;
    state.previous = lines;
    if (falling & VPORT_PIN(16)) {
      state.busy = state.ack_low = false;
      ++state.generation;
      ++state.resets;
    }
    state.init_low = !(lines & VPORT_PIN(16));
    if (falling & VPORT_PIN(1)) {
      if (state.Ready()) {
        state.Latch(lines);
      } else {
        ++state.ignored;
      }
    }
  }

  static std::uint32_t InputLines(void* context, std::uint32_t) {
    return static_cast<const State*>(context)->Lines();
  }

  Clock& clock;
  std::weak_ptr<State> self;
  std::uint64_t busy_time = 0;
  std::uint64_t ack_time = 0;
  bool online = true;
  bool paper_out = false;
  bool init_low = false;
  bool busy = false;
  bool ack_low = false;
  std::uint32_t previous = VPORT_OUTPUT_PINS;  // idle lines are high
  unsigned generation = 0;                     // bumped by a reset, which ends pending work
  unsigned ack_pulses = 0;
  std::vector<BYTE> received;
  std::size_t ignored = 0;
  std::size_t resets = 0;
};

VirtualPrinter::VirtualPrinter(Clock& clock) : state_(std::make_shared<State>(clock)) {
  state_->self = state_;
  peripheral_.context = state_.get();
  peripheral_.lines_changed = &State::LinesChanged;
  peripheral_.input_lines = &State::InputLines;
}

VirtualPrinter::~VirtualPrinter() = default;

void VirtualPrinter::SetBusyTime(std::uint64_t milliseconds) { state_->busy_time = milliseconds; }
void VirtualPrinter::SetAckTime(std::uint64_t milliseconds) { state_->ack_time = milliseconds; }
void VirtualPrinter::SetOnline(bool online) { state_->online = online; }
void VirtualPrinter::SetPaperOut(bool paper_out) { state_->paper_out = paper_out; }

const std::vector<BYTE>& VirtualPrinter::Received() const { return state_->received; }
std::string VirtualPrinter::ReceivedText() const { return std::string(state_->received.begin(), state_->received.end()); }
std::size_t VirtualPrinter::Ignored() const { return state_->ignored; }
std::size_t VirtualPrinter::Resets() const { return state_->resets; }
std::uint32_t VirtualPrinter::Lines() const { return state_->Lines(); }

}  // namespace sim
