#pragma once
// The real acquisition thread behind the step machine's AcquisitionControl.
// Kept apart so that code without the thread (tests, tools) does not link it.

#include "link/acquisition.h"
#include "procedure/step_machine.h"

namespace librato {

class ThreadAcquisitionControl final : public AcquisitionControl {
 public:
  explicit ThreadAcquisitionControl(AcquisitionThread& thread) : thread_(thread) {}
  void start(const AcquisitionConfig& config) override { thread_.Start(config); }
  void requestStop() override { thread_.RequestStop(); }

 private:
  AcquisitionThread& thread_;
};

}  // namespace librato
