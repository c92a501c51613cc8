// A pseudo-terminal standing in for one of the adapter's serial ports: the
// slave is reachable as <tree>/ttyACM<n>, the master side plays the adapter.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "temp_tree.h"

class PtyAdapter {
public:
    PtyAdapter(const TempTree& tree, int port) {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
            ADD_FAILURE() << "no pseudo-terminal";
            return;
        }
        tree.Link("ttyACM" + std::to_string(port), ptsname(m_master));
    }
    ~PtyAdapter() { Leave(); }
    PtyAdapter(const PtyAdapter&) = delete;
    PtyAdapter& operator=(const PtyAdapter&) = delete;

    int Master() const { return m_master; }

    // The adapter leaves the bus: the slave side is hung up.
    void Leave() {
        if (m_master >= 0) {
            close(m_master);
            m_master = -1;
        }
    }

    // The adapter's side of the version query: one byte in, "v0.40" out.
    void AnswerVersionQuery() {
        pollfd p{m_master, POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 2000), 1);
        char query = 0;
        ASSERT_EQ(read(m_master, &query, 1), 1);
        ASSERT_EQ(query, 'v');
        ASSERT_EQ(write(m_master, "v0.40", 5), 5);
    }

private:
    int m_master = -1;
};
