#include "app/ModuleDetection.h"

#include "app/MainState.h"
#include "app/ModuleListBox.h"
#include "modules/Detection.h"

namespace {

// Shows the adopted module tables in the list box, first line selected.
void ShowAdoptedModules(MainState& s) {
    FillModuleListBox(s);
    SelectModule(s, 0);
}

}  // namespace

void DetectModules(MainState& s) {
    s.form.ProgExeGroup.enabled = true;
    s.form.ProgExeGroup.caption = "Program Execution";
    if (DetectModuleTypes(s, s) < 0) return;
    ShowAdoptedModules(s);
    if (s.afterDetection) s.afterDetection();
}

int LookUpModules(MainState& s, int* damagedAt) {
    if (const int r = LookUpModuleTypes(s, s, damagedAt); r < 0) return r;
    ShowAdoptedModules(s);
    return 0;
}
