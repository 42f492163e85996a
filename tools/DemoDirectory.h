#pragma once

#include <QString>
#include <QVariantList>
#include <cstdint>
#include <functional>

namespace db {
class Connection;
}
struct Country;

// Generates companies that look like a real ship-owner directory. The same seed gives the same
// companies.
class DemoDirectory {
public:
    explicit DemoDirectory(std::uint64_t seed);

    // One company: the 17 values of the table's columns after id, in table order.
    QVariantList NextCompany();

    // Adds count companies in one transaction; progress is called now and then with the number
    // added so far.
    void AddTo(db::Connection& connection, long long count,
               const std::function<void(long long)>& progress = {});

private:
    std::uint64_t NextRandom();
    int Below(int bound);
    bool Chance(int percent);
    template <typename T, std::size_t N> const T& Pick(const T (&items)[N]) {
        return items[Below(static_cast<int>(N))];
    }

    QString CompanyName();
    QString PhoneNumber(const Country& country, int city);
    QString Address(const Country& country, int city);
    void AddFleet(QVariantList& values);

    std::uint64_t state_;
};
