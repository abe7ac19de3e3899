#pragma once
// Identifiers of the module's resources; shared by IniPlugin.rc and the code.
#define IDS_PROJNAME 100
#define IDR_INIFORMAT 102
#define IDR_INIFILE 103
