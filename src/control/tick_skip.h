// Whether ticks can be left out: a shell that knows no input has changed
// since the last tick asks whether the next tick could change anything.
#pragma once

#include "config/curve_bank.h"
#include "control/control_tick.h"

namespace zq {

// True when a tick that samples exactly the inputs of the last tick would
// send nothing, write no label and leave the form as it is. Ask only after
// a tick (the snapshot then holds that tick's inputs as now and previous).
//
// With the inputs unchanged no key or button edge can fire, so no chat,
// routing, curve-set, power, trim or flap step runs and the axes come out
// as they are. What is left can still act: the time counters while a fire
// slot is held; Escape or Enter down (chat off, xp rewritten); a throttle
// slot held where the step is not cut off by a bound; an axis whose value
// mixed with the trim of the last tick differs from its sent copy (the
// mix lags one tick behind a trim change); channels of a failed send.
bool NextTickChangesNothing(const FormState& form);

// The rule for sleeping through ticks: NextTickChangesNothing, and besides
// no watched key down and no bound joystick button down. A held key keeps
// the ticks (and the shell's periodic look at the whole keyboard) going
// even where it holds a throttle at its bound.
bool MaySkipTicks(const FormState& form);

}  // namespace zq
