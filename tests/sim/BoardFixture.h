#pragma once
// The demonstration board on the simulated cable, reached through the real
// register port as the program reaches it.

#include <gtest/gtest.h>

#include <memory>

#include "device/Tovin_I2C_Port.h"
#include "sim/SimulatedBoard.h"

class BoardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        board = CSimulatedBoard::CreateDefault();
        board->AddExampleFaults();
        port = std::make_unique<CTovin_I2C_Port>(board->Driver());
        port->SetDemoMode(false);
        ASSERT_EQ(port->OpenCable(), FTDI_OK);
    }

    CHmuDevice& Hmu(int index) { return *board->Hmu(index); }
    CSimulatedFtdiDriver& Driver() { return *board->Driver(); }

    std::unique_ptr<CSimulatedBoard> board;
    std::unique_ptr<CTovin_I2C_Port> port;
};
