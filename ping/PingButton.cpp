#include "console/MainForm.h"

namespace quillet {

void TMainForm::PingButtonClick() {}

}  // namespace quillet
