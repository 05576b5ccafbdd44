// Configuration mode where no window can be shown: say so plainly and show what is configured.
#pragma once

namespace torv {

class CLauncherSettings;
class MissionLog;

// Logs why the dialog cannot open and the settings as they stand. Always false: nothing was
// configured.
bool ReportConfigurationWithoutDisplay(MissionLog& log, CLauncherSettings& settings);

}  // namespace torv
