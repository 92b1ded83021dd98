#pragma once

// Journal tests that hold for every store run once on the data folder's SQLite file and once on a
// PostgreSQL server the test starts for itself.

#include "journal/Journal.h"

#include "support/PostgresServer.h"

#include <gtest/gtest.h>

#include <optional>

enum class JournalStoreKind { file, server };

class EachJournalStore : public testing::TestWithParam<JournalStoreKind> {
  protected:
    bool onServer() const { return GetParam() == JournalStoreKind::server; }

    // `options` pointed at this run's store; the server starts on first use and stops with the test.
    Journal::Options on(Journal::Options options = {})
    {
        if (onServer()) {
            if (!server_)
                server_.emplace();
            options.database = server_->uri();
        }
        return options;
    }

    PostgresServer& server()
    {
        on();
        return *server_;
    }

  private:
    std::optional<PostgresServer> server_;
};

inline std::string JournalStoreName(const testing::TestParamInfo<JournalStoreKind>& info)
{
    return info.param == JournalStoreKind::file ? "File" : "Server";
}

#define INSTANTIATE_FOR_EACH_JOURNAL_STORE(fixture)                                                          \
    INSTANTIATE_TEST_SUITE_P(, fixture, testing::Values(JournalStoreKind::file, JournalStoreKind::server),   \
                             JournalStoreName)
