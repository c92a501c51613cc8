#include "comm/communication.h"

namespace ZRK {

CCommunication::~CCommunication() = default;

bool CCommunication::IsConnected() const {
    return IsOpen();
}

bool CCommunication::CanSend() const {
    return IsOpen();
}

bool CCommunication::CanReceive() const {
    return IsOpen();
}

int CCommunication::GetReceivableSize() {
    return -1;
}

int CCommunication::CheckState() {
    if (!IsOpen()) {
        return kStateUnusable;
    }
    return IsConnected() ? kStateConnected : kStateNotConnected;
}

}  // namespace ZRK
