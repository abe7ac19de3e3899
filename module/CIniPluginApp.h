#pragma once
// The module's application object: what runs when the module is loaded into
// a process and when it leaves it.
#include <windows.h>

class CIniPluginApp {
public:
    // At process attach: records the module's handle for the proxy/stub and
    // for the module's own resources. Nothing in it can fail.
    void InitInstance(HINSTANCE instance) noexcept;

    // At process detach: releases the cached class objects. Running it twice
    // does nothing more.
    void ExitInstance() noexcept;
};
