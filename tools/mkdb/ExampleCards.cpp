#include "ExampleCards.h"

#include <Magick++.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "jet/Database.h"

namespace tessor::tools {

namespace fs = std::filesystem;
using jet::ColumnType;
using jet::Value;

namespace {

constexpr std::array<const char*, 7> kFormats = {"jpg", "bmp", "png", "gif", "tif", "tga", "pcx"};

constexpr std::array<const char*, 12> kFirst = {"Anna", "Ben",   "Clara", "David",
                                                "Emma", "Felix", "Greta", "Hugo",
                                                "Ida",  "Jonas", "Karla", "Lukas"};
constexpr std::array<const char*, 9> kLast = {"Berger", "Fischer", "Hofmann", "Keller", "Lang",
                                              "Meyer",  "Novak",   "Schmid",  "Weber"};
constexpr std::array<const char*, 4> kDepartments = {"Sales", "Workshop", "Office", "Visitors"};

jet::NewColumn column(const char* name, ColumnType type, uint16_t length = 255) {
    jet::NewColumn c;
    c.name = name;
    c.type = type;
    c.length = length;
    return c;
}

// A head-and-shoulders figure on a coloured ground: simple shapes, so that no font is needed.
void drawPicture(int card, const fs::path& file) {
    const int width = 120, height = 150;
    const double hue = (card * 37) % 360;
    Magick::ColorHSL ground(hue / 360.0, 0.45, 0.80), figure(hue / 360.0, 0.55, 0.35);
    Magick::Image image(Magick::Geometry(width, height), ground);
    image.strokeColor(figure);
    image.fillColor(figure);
    image.draw(Magick::DrawableCircle(60, 55, 60, 55 + 24 + card % 6));
    image.draw(Magick::DrawableEllipse(60, 150, 48 + card % 9, 42, 180, 360));
    // A band whose width tells the cards apart at a glance.
    image.fillColor(Magick::ColorHSL(std::fmod(hue + 180, 360) / 360.0, 0.6, 0.5));
    image.draw(Magick::DrawableRectangle(0, 0, 10 + (card * 7) % (width - 10), 8));
    image.depth(8);
    image.write(file.string());
}

}  // namespace

void ExampleCards::write(const fs::path& folder) {
    const fs::path pictures = folder / "Pictures";
    fs::remove_all(pictures);
    fs::create_directories(pictures);
    const fs::path db = folder / "Cards.mdb";
    fs::remove(db);

    jet::Database::create(db);
    jet::OpenOptions open;
    open.readOnly = false;
    open.exclusive = true;
    auto cards = jet::Database::open(db, open);

    jet::NewTable table;
    table.name = "Cards";
    jet::NewColumn id = column("ID", ColumnType::Long);
    id.autoNumber = true;
    table.columns = {
        id, column("CardNo", ColumnType::Text, 10), column("FirstName", ColumnType::Text, 40),
        column("LastName", ColumnType::Text, 40), column("Department", ColumnType::Text, 40),
        column("Issued", ColumnType::DateTime), column("ValidUntil", ColumnType::DateTime),
        column("Photo", ColumnType::Text, 255),
        // The print-information fields, as the Field menu adds them.
        column("Vexa_Print", ColumnType::Bool), column("Vexa_Print_Count", ColumnType::Long),
        column("Vexa_Print_Time", ColumnType::DateTime),
        column("Vexa_Total_Print", ColumnType::Long),
        column("Vexa_ID1_Rect", ColumnType::Text, 255),
        column("Vexa_ID2_Rect", ColumnType::Text, 255), column("Vexa_ID1_Image", ColumnType::Ole),
        column("Vexa_ID2_Image", ColumnType::Ole)};
    jet::NewIndex key;
    key.name = "PrimaryKey";
    key.columns = {{"ID", true}};
    key.primary = true;
    table.indexes = {key};

    cards->transact([&] {
        cards->createTable(table);
        for (int i = 0; i < kCards; ++i) {
            const std::string photo = "card" + std::string(i < 9 ? "0" : "") +
                                      std::to_string(i + 1) + "." + kFormats[i % kFormats.size()];
            drawPicture(i, pictures / photo);
            const double issued = 45292.0 + i * 9;  // from 2024-01-01 on
            const bool printed = i % 3 == 0;
            std::vector<Value> row = {Value(),
                                      Value("C-" + std::to_string(1001 + i)),
                                      Value(std::string(kFirst[i % kFirst.size()])),
                                      Value(std::string(kLast[(i * 5) % kLast.size()])),
                                      Value(std::string(kDepartments[i % kDepartments.size()])),
                                      Value(jet::DateTime{issued}),
                                      Value(jet::DateTime{issued + 730}),
                                      Value(photo),
                                      Value(printed),
                                      Value(int32_t(printed ? 1 + i % 4 : 0)),
                                      printed ? Value(jet::DateTime{issued + 2.5}) : Value(),
                                      Value(int32_t(printed ? 1 + i % 4 : 0)),
                                      Value(),
                                      Value(),
                                      Value(),
                                      Value()};
            cards->insertRow("Cards", row);
        }
    });
}

}  // namespace tessor::tools
