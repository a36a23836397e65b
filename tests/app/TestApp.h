#pragma once
// An application object over a simulated cable and a memory settings store,
// started as the program starts and made the one that windows find.

#include <memory>

#include "settings/MemorySettingsStore.h"
#include "app/TovinAppContext.h"
#include "device/Tovin_I2C_Port.h"
#include "sim/SimulatedFtdiDriver.h"
#include "tests/app/RecordingInteraction.h"

struct TestApp {
    std::shared_ptr<CSimulatedFtdiDriver> driver;
    CMemorySettingsStore* store = nullptr;  // owned by the application
    std::unique_ptr<CTovinAppContext> app;
    CRecordingInteraction ui;
    CTovinAppContext* previousApp = nullptr;

    explicit TestApp(std::shared_ptr<CSimulatedFtdiDriver> d = std::make_shared<CSimulatedFtdiDriver>(),
                     std::function<void(CMemorySettingsStore&)> preset = {})
        : driver(std::move(d))
    {
        auto memory = std::make_unique<CMemorySettingsStore>();
        if (preset) preset(*memory);
        store = memory.get();
        app = std::make_unique<CTovinAppContext>(driver, std::move(memory));
        previousApp = SetTheApp(app.get());
        app->Startup();
    }
    ~TestApp()
    {
        if (HasApp() && &TheApp() == app.get()) SetTheApp(previousApp);
        app.reset();
    }
    CTovin_I2C_Port& Port() { return app->Port(); }
};
