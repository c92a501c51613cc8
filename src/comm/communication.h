// The library's communication channel: a fixed set of virtual operations,
// in a fixed order, that every channel offers, and the descriptor that
// names a channel.
#pragma once

#include "lib/text_string.h"
#include "platform/win_types.h"

namespace ZRK {

// Names a channel. The three trailing values are carried for channels that
// want them; nothing here reads them.
struct CommDescriptor {
    CTextString typeName;
    DWORD identifier = 0;
    LONG reserved[3] = {0, -1, -1};
};

class CCommunication {
public:
    // Answers of CheckState.
    static constexpr int kStateNotConnected = 0;
    static constexpr int kStateConnected = 1;
    static constexpr int kStateUnusable = 2;

    CCommunication() = default;
    CCommunication(const CCommunication&) = delete;
    CCommunication& operator=(const CCommunication&) = delete;

    virtual ~CCommunication();
    virtual CommDescriptor* GetDescriptor() = 0;
    // Channel-specific control request; false when the channel has none.
    virtual bool Control(DWORD request) = 0;
    virtual bool Open() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual bool IsConnected() const;
    virtual bool CanSend() const;
    virtual bool CanReceive() const;
    // Bytes moved, or -1.
    virtual int Send(int size, const void* data) = 0;
    virtual int Receive(int size, void* buffer) = 0;
    // Bytes waiting to be received, or -1 when the channel cannot tell.
    virtual int GetReceivableSize();
    // kStateUnusable when closed, else connected or not.
    virtual int CheckState();
};

}  // namespace ZRK
