// The ping button of the main window: starts a run of three echoes to the
// address in IpEdit, or stops the running one. The run's lines go to the
// pane only: they are neither logged nor charged, whatever the check boxes say.
#include "console/MainForm.h"
#include "ping/PingRun.h"

namespace quillet {

void TMainForm::PingButtonClick() {
    if (ping_ == nullptr) ping_ = new PingRun();
    const PingRun::Toggle toggle = ping_->StartOrStop(
        [this] { return IpText(); },
        [this](std::string_view line) {
            OutputBatch batch;
            batch.PaneLine(line);
            output_.Commit(batch);
        });
    if (toggle == PingRun::Toggle::Stopped) {
        // Through the same queue as the run's own lines, so these come last.
        OutputBatch batch;
        batch.PaneLine("");
        batch.PaneLine("Pinging was terminated by user");
        batch.PaneLine("");
        output_.Commit(batch);
        FlushPane();
    }
}

void TMainForm::StopPing() {
    delete ping_;
    ping_ = nullptr;
}

}  // namespace quillet
