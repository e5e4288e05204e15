#pragma once
// The weighing plan: the sequence of step codes of one run, laid out from the
// cycle scheme before the run starts.

#include <optional>

#include "procedure/session.h"

namespace librato {

class Trace;

struct PlanInputs {
  bool DetermineSKO = false;
  bool Depend = true;
  bool GroupCycle = true;
  int LoadInCycle = 1;
  int CyclesToWeight = 1;
  bool MethodABA = true;
  int WeightCount = 0;
};

// Builds the plan and writes its trace lines (the trace is emptied first and
// starts with the method's list index, 0 for ABA, 1 for ABBA). No plan when
// the weight count is below 1.
std::optional<Plan> BuildPlan(const PlanInputs& in, Trace& trace);

// The plan's length by the scheme's formulas.
int PlanLength(const PlanInputs& in);

// The test weight (1-based) of the b-th B placement of a run (b from 1).
int TestWeightOfB(int b, const PlanInputs& in);

}  // namespace librato
