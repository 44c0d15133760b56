#include "sim/printer.h"

namespace sim {

namespace {
constexpr std::uint32_t kBusy = VPORT_PIN(VPORT_PIN_BUSY);
constexpr std::uint32_t kPaperOut = VPORT_PIN(VPORT_PIN_PAPER_OUT);
constexpr std::uint32_t kSelect = VPORT_PIN(VPORT_PIN_SELECT);
constexpr std::uint32_t kFault = VPORT_PIN(VPORT_PIN_FAULT);
constexpr std::uint32_t kStrobe = VPORT_PIN(VPORT_PIN_STROBE);
constexpr std::uint32_t kInit = VPORT_PIN(VPORT_PIN_INIT);
}  // namespace

// The virtual port's printer decides when a byte is latched and what Init does; this one
// adds the time a byte takes and the states in which the printer takes nothing.
struct VirtualPrinter::State {
  explicit State(Clock& clock) : clock(clock) {}

  std::uint32_t Lines() {
    std::uint32_t lines = vport_printer_input_lines(&latch, outputs);
    if (busy || !online || paper_out) lines |= kBusy;
    if (paper_out) lines = (lines | kPaperOut) & ~kFault;
    if (!online) lines &= ~(kSelect | kFault);
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

  void Latch(BYTE value) {
    received.push_back(value);
    if (!busy_time) return;
    busy = true;
    Later(busy_time, [](State& state) { state.busy = false; });
  }

  static void LinesChanged(void* context, std::uint32_t lines, std::uint32_t changed) {
    auto& state = *static_cast<State*>(context);
    state.outputs = lines;
    const std::uint32_t falling = changed & ~lines;
    if (falling & kInit) {
      state.busy = false;
      ++state.generation;
      ++state.resets;
    }
    // While busy, off line or out of paper the strobe reaches nobody.
    const bool can_take = state.online && !state.paper_out && !state.busy;
    const std::uint32_t latched_before = state.latch.received;
    vport_printer_lines_changed(&state.latch, lines, can_take ? changed : changed & ~kStrobe);
    // A falling Init resets the count, and no byte is latched while Init is low.
    if (!(falling & kInit) && state.latch.received != latched_before) state.Latch(state.latch.last);
  }

  static std::uint32_t InputLines(void* context, std::uint32_t) {
    return static_cast<State*>(context)->Lines();
  }

  Clock& clock;
  std::weak_ptr<State> self;
  vport_printer latch = VPORT_PRINTER_INITIALIZER(nullptr);
  std::uint32_t outputs = VPORT_OUTPUT_PINS;  // idle lines are high
  std::uint64_t busy_time = 0;
  bool online = true;
  bool paper_out = false;
  bool busy = false;
  unsigned generation = 0;  // bumped by a reset, which ends pending work
  std::vector<BYTE> received;
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
void VirtualPrinter::SetOnline(bool online) { state_->online = online; }
void VirtualPrinter::SetPaperOut(bool paper_out) { state_->paper_out = paper_out; }

const std::vector<BYTE>& VirtualPrinter::Received() const { return state_->received; }
std::string VirtualPrinter::ReceivedText() const { return std::string(state_->received.begin(), state_->received.end()); }
std::size_t VirtualPrinter::Resets() const { return state_->resets; }

}  // namespace sim
