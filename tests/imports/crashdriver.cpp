// Runs one import or restore in a process of its own, so that a test can
// kill it at any moment: crashdriver postal|csv|restore <database directory> <file>.

#include "data/datalocation.h"
#include "csvimport/csvimportrun.h"
#include "data/backup.h"
#include "postal/postalupdate.h"
#include "data/sqlitedo.h"

#include <cstdio>
#include <cstring>
#include <exception>

int main(int argc, char** argv)
{
    if (argc != 4)
        return 2;
    tessolo::location::setDataDirectory(QString::fromLocal8Bit(argv[2]));
    const QString file = QString::fromLocal8Bit(argv[3]);
    try {
        if (std::strcmp(argv[1], "postal") == 0) {
            tessolo::postalupdate::run(file);
        } else if (std::strcmp(argv[1], "restore") == 0) {
            tessolo::backup::restore(file, tessolo::backup::databasePath());
        } else {
            tessolo::csvimport::ColumnMap map;
            for (int k = 0; k < 3; ++k)
                map[k].first = k;
            tessolo::csvimport::run(file, map);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
