/* Figure 1's floor for a database read: the least a C program can do to
 * answer "/6108" from the same SQLite file (open, one SELECT, print). */
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>

int main(void)
{
    const char* root = getenv("NVRWEB_ROOT");
    char path[512];
    snprintf(path, sizeof path, "%s/mnt/nand/app/vxdb.db", root ? root : "");
    sqlite3* db = NULL;
    sqlite3_stmt* st = NULL;
    int mode = 0;
    if (sqlite3_open_v2(path, &db, SQLITE_OPEN_READWRITE, NULL) == SQLITE_OK &&
        sqlite3_busy_timeout(db, 10000) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "SELECT value FROM params WHERE key = ?", -1, &st, NULL) == SQLITE_OK &&
        sqlite3_bind_text(st, 1, "raidmode", -1, SQLITE_STATIC) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        mode = sqlite3_column_int(st, 0);
    printf("Content-type: text/plain\r\n\r\n%d", mode);
    return 0;
}
