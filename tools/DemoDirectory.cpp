#include "tools/DemoDirectory.h"

#include "data/Connection.h"
#include "data/Engine.h"
#include "data/ShipOwnerTable.h"
#include "data/Transaction.h"

#include <QStringList>

struct Country {
    const char* name;
    int weight;
    const char* callingCode;
    const char* cities[4];
    const char* areaCodes[4];
};

namespace {

// Weighted roughly by the fleets the owners of each nation control.
const Country kCountries[] = {
    {"希腊",
     17,
     "30",
     {"比雷埃夫斯", "雅典", "格利法扎", "沃利亚格梅尼"},
     {"210", "210", "210", "210"}},
    {"中国", 14, "86", {"上海", "大连", "青岛", "宁波"}, {"21", "411", "532", "574"}},
    {"日本", 11, "81", {"东京", "神户", "今治", "横滨"}, {"3", "78", "898", "45"}},
    {"新加坡", 7, "65", {"新加坡", nullptr, nullptr, nullptr}, {"6", nullptr, nullptr, nullptr}},
    {"中国香港", 6, "852", {"香港", "九龙", nullptr, nullptr}, {"2", "3", nullptr, nullptr}},
    {"德国", 5, "49", {"汉堡", "不来梅", "莱尔", nullptr}, {"40", "421", "491", nullptr}},
    {"韩国", 4, "82", {"釜山", "首尔", nullptr, nullptr}, {"51", "2", nullptr, nullptr}},
    {"美国", 4, "1", {"纽约", "休斯敦", "斯坦福", nullptr}, {"212", "713", "203", nullptr}},
    {"挪威", 4, "47", {"奥斯陆", "卑尔根", "奥勒松", nullptr}, {"22", "55", "70", nullptr}},
    {"英国", 3, "44", {"伦敦", "利物浦", nullptr, nullptr}, {"20", "151", nullptr, nullptr}},
    {"中国台湾", 3, "886", {"台北", "高雄", nullptr, nullptr}, {"2", "7", nullptr, nullptr}},
    {"丹麦", 3, "45", {"哥本哈根", "埃斯比约", nullptr, nullptr}, {"3", "7", nullptr, nullptr}},
    {"百慕大", 2, "1", {"汉密尔顿", nullptr, nullptr, nullptr}, {"441", nullptr, nullptr, nullptr}},
    {"摩纳哥", 2, "377", {"摩纳哥", nullptr, nullptr, nullptr}, {"9", nullptr, nullptr, nullptr}},
    {"土耳其",
     2,
     "90",
     {"伊斯坦布尔", "伊兹密尔", nullptr, nullptr},
     {"212", "232", nullptr, nullptr}},
    {"瑞士", 2, "41", {"日内瓦", "卢加诺", "楚格", nullptr}, {"22", "91", "41", nullptr}},
    {"比利时", 1, "32", {"安特卫普", nullptr, nullptr, nullptr}, {"3", nullptr, nullptr, nullptr}},
    {"印度", 2, "91", {"孟买", "钦奈", nullptr, nullptr}, {"22", "44", nullptr, nullptr}},
    {"俄罗斯",
     2,
     "7",
     {"圣彼得堡", "符拉迪沃斯托克", nullptr, nullptr},
     {"812", "423", nullptr, nullptr}},
    {"意大利", 2, "39", {"热那亚", "那不勒斯", nullptr, nullptr}, {"010", "081", nullptr, nullptr}},
    {"荷兰", 1, "31", {"鹿特丹", nullptr, nullptr, nullptr}, {"10", nullptr, nullptr, nullptr}},
    {"印度尼西亚", 1, "62", {"雅加达", "泗水", nullptr, nullptr}, {"21", "31", nullptr, nullptr}},
    {"越南", 1, "84", {"海防", "胡志明市", nullptr, nullptr}, {"225", "28", nullptr, nullptr}},
    {"阿联酋", 1, "971", {"迪拜", nullptr, nullptr, nullptr}, {"4", nullptr, nullptr, nullptr}},
};

const char* const kNameHeads[] = {"远", "海", "东", "华", "金", "长", "新", "恒", "宏", "安",
                                  "顺", "泰", "昌", "隆", "盛", "福", "祥", "瑞", "鑫", "嘉",
                                  "永", "通", "明", "中", "天", "洋", "星", "辉", "兴", "丰"};
const char* const kNameTails[] = {"洋", "海", "航", "达", "通", "运", "源", "宇", "邦", "润",
                                  "峰", "景", "程", "帆", "港", "荣", "信", "和", "利", "远"};
const char* const kChineseSuffixes[] = {
    "航运有限公司", "航运有限公司", "海运有限公司", "船务有限公司", "轮船有限公司",
    "海运",         "船务",         "轮船",         "航运集团",     "远洋运输有限公司"};
const char* const kEnglishFirst[] = {"Aegean",   "Blue",   "Northern", "Golden",   "Pacific",
                                     "Ionian",   "Silver", "Atlantic", "Eastern",  "Coral",
                                     "Polar",    "Cape",   "Harbour",  "Meridian", "Orient",
                                     "Cyclades", "Baltic", "Delta"};
const char* const kEnglishSecond[] = {"Star",   "Horizon", "Wave", "Bay",       "Crest",
                                      "Anchor", "Tide",    "Sea",  "Navigator", "Gulf",
                                      "Line",   "Compass", "Pearl"};
const char* const kEnglishSuffixes[] = {
    "Shipping Co., Ltd.", "Maritime S.A.",       "Navigation Inc.", "Shipmanagement Ltd.",
    "Tankers Ltd.",       "Bulk Carriers Corp.", "Marine Co."};
const char* const kStreets[] = {"海滨大道",     "港口路",   "中山路", "滨江路",
                                "码头街",       "灯塔路",   "海员路", "新港大道",
                                "国际贸易中心", "航运大厦", "金融街", "海湾路"};

const int kCountryWeightTotal = [] {
    int total = 0;
    for (const Country& country : kCountries)
        total += country.weight;
    return total;
}();

// The cities of a country, and their area codes, fill the first entries of their lists.
int EntriesOf(const char* const (&items)[4]) {
    int count = 0;
    while (count < 4 && items[count] != nullptr)
        ++count;
    return count;
}

// Per-ship size ranges for each ship type: count column, size column, smallest and largest size.
struct ShipType {
    int sizes[4][2];
};
const ShipType kShipTypes[] = {
    {{{35000, 50000}, {105000, 120000}, {150000, 165000}, {295000, 320000}}}, // tankers, DWT
    {{{28000, 38000}, {52000, 64000}, {75000, 85000}, {175000, 210000}}},     // bulk, DWT
    {{{3500, 9000}, {20000, 40000}, {78000, 84000}, {160000, 180000}}},       // gas, m³
    {{{8000, 13000}, {19000, 26000}, {33000, 38000}, {45000, 50000}}},        // chemical, DWT
    {{{1000, 2500}, {4000, 8500}, {9000, 14000}, {18000, 24000}}},            // container, TEU
    {{{2000, 6000}, {6000, 12000}, {12000, 20000}, {3000, 9000}}},            // other, DWT
};

} // namespace

DemoDirectory::DemoDirectory(std::uint64_t seed) : state_(seed ^ 0x9E3779B97F4A7C15ULL) {}

std::uint64_t DemoDirectory::NextRandom() {
    // splitmix64: fixed by definition, so the same seed gives the same data everywhere.
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

int DemoDirectory::Below(int bound) {
    return static_cast<int>(NextRandom() % bound);
}

bool DemoDirectory::Chance(int percent) {
    return Below(100) < percent;
}

QString DemoDirectory::CompanyName() {
    if (Chance(22)) {
        return QStringLiteral("%1 %2 %3")
            .arg(QLatin1String(Pick(kEnglishFirst)), QLatin1String(Pick(kEnglishSecond)),
                 QLatin1String(Pick(kEnglishSuffixes)));
    }
    return QString::fromUtf8(Pick(kNameHeads)) + QString::fromUtf8(Pick(kNameTails)) +
           QString::fromUtf8(Pick(kChineseSuffixes));
}

QString DemoDirectory::PhoneNumber(const Country& country, int city) {
    return QStringLiteral("+%1 %2 %3")
        .arg(QLatin1String(country.callingCode), QLatin1String(country.areaCodes[city]))
        .arg(1000000 + Below(9000000));
}

QString DemoDirectory::Address(const Country& country, int city) {
    QString address = QString::fromUtf8(country.cities[city]) + QString::fromUtf8(Pick(kStreets)) +
                      QString::number(1 + Below(300)) + QStringLiteral("号");
    if (Chance(50))
        address += QString::number(2 + Below(30)) + QStringLiteral("楼");
    return address;
}

void DemoDirectory::AddFleet(QVariantList& values) {
    // Most owners run one or two kinds of ship and only a handful of ships.
    const int kinds = Chance(60) ? 1 : Chance(65) ? 2 : 3;
    bool runs[6] = {};
    for (int i = 0; i < kinds; ++i)
        runs[Below(6)] = true;
    const bool blanks = Chance(12);
    for (int type = 0; type < 6; ++type) {
        if (!runs[type]) {
            values << (blanks ? QVariant() : QVariant(0LL))
                   << (blanks ? QVariant() : QVariant(0LL));
            continue;
        }
        const int ships = Chance(75) ? 1 + Below(5) : Chance(80) ? 6 + Below(15) : 21 + Below(60);
        const int(&range)[2] = kShipTypes[type].sizes[Below(4)];
        long long total = 0;
        for (int ship = 0; ship < ships; ++ship)
            total += range[0] + Below(range[1] - range[0] + 1);
        values << QVariant(static_cast<long long>(ships)) << QVariant(total);
    }
}

QVariantList DemoDirectory::NextCompany() {
    int pick = Below(kCountryWeightTotal);
    const Country* country = &kCountries[0];
    for (const Country& candidate : kCountries) {
        if (pick < candidate.weight) {
            country = &candidate;
            break;
        }
        pick -= candidate.weight;
    }
    const int city = Below(EntriesOf(country->cities));
    QVariantList values;
    values << CompanyName() << QString::fromUtf8(country->name) << Address(*country, city)
           << PhoneNumber(*country, city);
    values << (Chance(12) ? QVariant() : QVariant(PhoneNumber(*country, city)));
    AddFleet(values);
    return values;
}

void DemoDirectory::AddTo(db::Connection& connection, long long count,
                          const std::function<void(long long)>& progress) {
    const QStringList columns = shipowner::Columns().mid(1);
    const int batch = 1000;
    // All or nothing: a failure part of the way adds no company.
    db::Transaction transaction(connection, db::Transaction::Begin::Immediate);
    QList<QVariantList> rows;
    for (long long added = 0; added < count; ++added) {
        rows.append(NextCompany());
        if (rows.size() == batch || added + 1 == count) {
            connection.engine().InsertRows(shipowner::kTable, columns, rows, QString());
            rows.clear();
        }
        if (progress && (added + 1) % 10000 == 0)
            progress(added + 1);
    }
    transaction.commit();
}
