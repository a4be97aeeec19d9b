// capture_fixtures DIR COUNT: writes COUNT small photos of every container the EXIF reader knows,
// with varied tags, into DIR/DCIM/1NNTEST/ folders of 500, for the capture benchmark and for
// checking halvetrop-bench capture --list against exiftool by hand.
#include "PhotoFixtures.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {
std::string tagged(const char* prefix, int number) {
    char text[32];
    std::snprintf(text, sizeof text, "%s%d", prefix, number);
    return text;
}
}  // namespace

int main(int argc, char** argv) {
    using namespace halvetrop::test;
    if (argc != 3) {
        std::fprintf(stderr, "usage: capture_fixtures DIR COUNT\n");
        return 2;
    }
    const std::filesystem::path root(argv[1]);
    const int count = std::atoi(argv[2]);
    struct Kind {
        Container container;
        const char* extension;  // TIFF-structured raws share one builder under their own names
    };
    const Kind kinds[] = {{Container::jpeg, ".JPG"}, {Container::tiff, ".DNG"}, {Container::tiff, ".NEF"},
                          {Container::tiff, ".CR2"}, {Container::tiff, ".ARW"}, {Container::orf, ".ORF"},
                          {Container::rw2, ".RW2"},  {Container::raf, ".RAF"},  {Container::png, ".PNG"},
                          {Container::webp, ".WEBP"}, {Container::heic, ".HEIC"}, {Container::avif, ".AVIF"},
                          {Container::cr3, ".CR3"}};
    const int kindCount = sizeof kinds / sizeof kinds[0];
    for (int i = 0; i < count; ++i) {
        const Kind& k = kinds[i % kindCount];
        PhotoTags tags;
        char date[32];
        std::snprintf(date, sizeof date, "2024:%02d:%02d %02d:%02d:%02d", 1 + i % 12, 1 + i % 28, i % 24, i % 60, (i * 7) % 60);
        tags.dateTimeOriginal = date;
        tags.dateTimeDigitized = date;
        if (i % 3 == 0) tags.offsetTimeOriginal = i % 2 ? "+09:00" : "-04:00";
        if (i % 4 == 0) tags.subSecTimeOriginal = tagged("", i % 100);
        tags.model = i % 2 ? "ILCE-7M4" : "Z 9";
        if (i % 5 != 0) tags.bodySerialNumber = tagged("B", 1000 + i % 7);
        if (i % 2 == 0 && k.container != Container::cr3) tags.nikonSerial = tagged("N", 3000 + i % 3);
        tags.imageUniqueID = tagged("U", 100000 + i);
        char folder[32], name[32];
        std::snprintf(folder, sizeof folder, "DCIM/%03dTEST", 100 + i / 500);
        std::snprintf(name, sizeof name, "IMG_%05d%s", i, k.extension);
        std::filesystem::create_directories(root / folder);
        std::ofstream(root / folder / name, std::ios::binary) << buildPhoto(k.container, tags, i % 7 != 0);
    }
    return 0;
}
