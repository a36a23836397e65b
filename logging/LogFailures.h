#pragma once
// The readings a logging run left out because they failed, gathered record
// by record in a form that stays small however long the run: for each
// device and channel how many records it failed in, and the first and the
// last of them. The command line prints its summary at the end of a run;
// the status window can name the channels of a record or of the whole run.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "logging/LogSelection.h"
#include "logging/LogWriter.h"

class CLogFailures {
public:
    void Add(const LogRecord& record);
    void Clear();

    bool Any() const { return m_readings != 0; }
    // Readings left out over the run, and the records that lost any.
    uint64_t FailedReadings() const { return m_readings; }
    uint64_t FailedRecords() const { return m_records; }
    // Records in which this device's channel failed (0 for none).
    uint64_t FailedIn(int device, int channel) const;

    // "12 readings failed: HMU0 VMON1-10 in records 3-4; HMU1 IMON1 in
    // record 2"; channels of a device that failed in the same records are
    // named together. Empty when nothing failed.
    std::string Summary() const;

private:
    struct Tally {
        uint64_t records = 0;
        int first = 0;
        int last = 0;
    };
    std::array<Tally, logsel::kSize> m_tallies{};
    uint64_t m_readings = 0;
    uint64_t m_records = 0;
};

// The channels of a device, in channel order, as few names as they take:
// "VMON1-10, TMON3, IMON1-2".
std::string ChannelListText(const std::vector<int>& channels);
// The failed readings of one record, by device: "HMU0 VMON1-10; HMU1 IMON1";
// empty when none failed.
std::string FailedReadingsText(const LogRecord& record);
