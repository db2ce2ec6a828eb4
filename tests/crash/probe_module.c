/* A module for the fault program to load and then hide its file from the reporter. */
__declspec(dllexport) int crash_probe_value(void) { return 7; }
