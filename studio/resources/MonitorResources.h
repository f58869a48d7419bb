// The monitor dialog (10), the trace dialog (15) and the question before a trace is
// cleaned, as data for the windowing layer.
#pragma once

inline constexpr int kMonitorDialog = 10;
inline constexpr int kTraceDialog = 15;
// Ours: the question before Clean.
inline constexpr int kCleanTraceDialog = 24;

// Monitor controls.
inline constexpr int kIdMonHttp = 232;
inline constexpr int kIdMonExecuting = 233;
inline constexpr int kIdMonMemTotal = 237;
inline constexpr int kIdMonMemAvailable = 238;
inline constexpr int kIdMonMemUsed = 239;
inline constexpr int kIdMonApps = 243;
inline constexpr int kIdMonTotalNow = 250;
inline constexpr int kIdMonTotalToday = 251;
inline constexpr int kIdMonTotalMonth = 252;
inline constexpr int kIdMonTotalTotal = 253;
inline constexpr int kIdMonDate = 254;
inline constexpr int kIdMonTime = 255;
inline constexpr int kIdMonVersion = 256;
inline constexpr int kIdMonAddress = 257;
inline constexpr int kIdMonPort = 258;
inline constexpr int kIdMonJavaReload = 260;
inline constexpr int kIdMonSystemTrace = 261;
inline constexpr int kIdMonAppTrace = 262;
inline constexpr int kIdMonRunTrace = 263;
inline constexpr int kIdMonHeading1 = 270;
inline constexpr int kIdMonHeading2 = 271;
inline constexpr int kIdMonSave = 316;
inline constexpr int kIdMonRefresh = 320;
inline constexpr int kIdMonStart = 321;
inline constexpr int kIdMonSystem = 322;
inline constexpr int kIdMonApplication = 323;
inline constexpr int kIdMonRun = 324;
inline constexpr int kIdMonClean = 325;
// Ours: auto refresh, its period in seconds, and the two charts.
inline constexpr int kIdMonAutoRefresh = 334;
inline constexpr int kIdMonInterval = 335;
inline constexpr int kIdMonSessionsChart = 336;
inline constexpr int kIdMonMemoryChart = 337;

// Trace controls: the text, and ours: the find field, Find Next, Save As.
inline constexpr int kIdTraceText = 240;
inline constexpr int kIdTraceFind = 330;
inline constexpr int kIdTraceFindNext = 331;
inline constexpr int kIdTraceSaveAs = 332;
inline constexpr int kIdTraceFocusFind = 333;  // Ctrl+F

// The question before Clean: which trace goes.
inline constexpr int kIdCleanQuestion = 338;

// Registers the dialogs with the windowing layer; safe to call more than once.
void RegisterMonitorResources();
