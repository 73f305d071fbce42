#pragma once
// The encoder properties dialog for a transcode configuration: encoder instances, subkey
// spacing, log file, statistics level and the four option words, with "Set As Default" and
// "Reset". Nothing in an export opens it; headless, it runs over the dialog stand-in.
#include <cstdint>

#include "media/tengine_config.h"
#include "platform/dialog.h"

namespace orx::plugin {

// Dialog template 103 and its control ids.
inline constexpr int kPropertiesDialogId = 103;
inline constexpr int kCtlOk = 1;
inline constexpr int kCtlExit = 2;
inline constexpr int kCtlVersion = 1001;
inline constexpr int kCtlMissing1003 = 1003;
inline constexpr int kCtlMissing1004 = 1004;
inline constexpr int kCtlMissing1007 = 1007;
inline constexpr int kCtlSubkey = 1011;
inline constexpr int kCtlMatch = 1012;
inline constexpr int kCtlScale = 1013;
inline constexpr int kCtlClip = 1014;
inline constexpr int kCtlMotionSearch = 1016;
inline constexpr int kCtlSlices = 1017;
inline constexpr int kCtlInstances = 1018;
inline constexpr int kCtlAccelThreads = 1019;
inline constexpr int kCtlJobSize = 1020;
inline constexpr int kCtlGpu = 1022;  // not in the template
inline constexpr int kCtlOption4 = 1024;
inline constexpr int kCtlOption1 = 1025;
inline constexpr int kCtlOption2 = 1026;
inline constexpr int kCtlOption3 = 1027;
inline constexpr int kCtlStatsLevel = 1028;
inline constexpr int kCtlStatus1 = 1029;
inline constexpr int kCtlStatus2 = 1030;
inline constexpr int kCtlLogFile = 1031;
inline constexpr int kCtlBrowse = 1032;
inline constexpr int kCtlSetAsDefault = 1033;
inline constexpr int kCtlReset = 1034;

const platform::DialogTemplate& EncoderPropertiesTemplate();

// The configuration the dialog edits when its opener gets none.
QVATengineConfig& PropertiesDefaultConfig();

// The dialog's result when closed with "Ok", else -1.
intptr_t ShowEncoderProperties(void* parent, QVATengineConfig* config);

intptr_t PropDlg_Proc(platform::DialogWindow* window, uint32_t message, uintptr_t wParam,
                      intptr_t lParam);
void PropDlg_Fill(platform::DialogWindow* window, const void* module, QVATengineConfig* config);
void PropDlg_Init(platform::DialogWindow* window, const void* module, QVATengineConfig* config);
void PropDlg_Read(platform::DialogWindow* window, const void* module, QVATengineConfig* config);
void PropDlg_Ok(platform::DialogWindow* window);
int PropDlg_Cancel(platform::DialogWindow* window);
void PropDlg_BrowseLogFile(platform::DialogWindow* window, const void* module, const char* title,
                           int controlId, const char* filter, const char* currentPath);
void PropDlg_SetLine(int index, const char* format, ...) __attribute__((format(printf, 2, 3)));
void PropDlg_SetLine2(const char* format, ...) __attribute__((format(printf, 1, 2)));
void PropDlg_Status(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace orx::plugin
