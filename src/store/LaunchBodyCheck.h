#pragma once

#include <QString>
#include <optional>
#include <thread>
#include <unordered_set>
#include <vector>

// Which stored note bodies the launch's repair has to look at. Comparing every envelope with its
// plain body is most of the launch's upkeep on a large store and finds nothing on a sound one, so a
// worker does it over a read-only connection of its own while the main thread loads the notes. It
// sees plain values only and changes nothing: the repair itself stays on the main thread.
class LaunchBodyCheck {
public:
    // Starts the worker over the store's file. A store in memory (empty path) gives no verdict.
    explicit LaunchBodyCheck(const QString& storePath);
    ~LaunchBodyCheck();
    LaunchBodyCheck(const LaunchBodyCheck&) = delete;
    LaunchBodyCheck& operator=(const LaunchBodyCheck&) = delete;

    struct Verdict {
        // The unlocked rows with an envelope that were looked at, in row order.
        std::vector<qint64> checked;
        // Of those, the rows whose envelope does not decode, is of a newer version, or projects to a
        // text other than the stored body.
        std::unordered_set<qint64> suspects;

        // True only for a row that was looked at and found sound; any other row is to be checked.
        // `cursor`, kept between calls that ask in row order, makes each answer a step or two.
        bool isSound(qint64 row, size_t* cursor = nullptr) const;
    };

    // Waits for the worker. None when the store could not be read: then every row is suspect.
    const std::optional<Verdict>& verdict();

private:
    void run(const QString& path);

    std::optional<Verdict> m_verdict;
    std::thread m_worker;
};
