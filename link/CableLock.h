#pragma once
// Brackets a sequence of device accesses. The outermost lock opens the enable
// channel and holds its line high for the duration; inner locks only count.
// Locks nest freely, on the one user-interface thread.

class CI2C_FTDI;

// What a lock needs from the application: whether it runs on the simulated
// register file, and the link whose enable channel it drives.
class CCableContext {
public:
    virtual ~CCableContext() = default;
    virtual bool CableDemoMode() const = 0;
    virtual CI2C_FTDI* CableLink() = 0;
};

// The context the locks use. The application points it at itself; tests point
// it at their own. Returns the previous one.
CCableContext* SetCableContext(CCableContext* context);
CCableContext* GetCableContext();

class CCableLock {
public:
    CCableLock();
    ~CCableLock();
    CCableLock(const CCableLock&) = delete;
    CCableLock& operator=(const CCableLock&) = delete;

    // Status of the enable channel open this lock did; 0 when it opened none.
    int OpenStatus() const { return m_openStatus; }
    static int Depth();

private:
    CCableContext* m_context = nullptr;
    int m_openStatus = 0;
};
