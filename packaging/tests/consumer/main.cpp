// Renders a one-row table through a page template into an HTTP response and checks it.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "common/Version.h"
#include "webproc/TableResult.h"

static_assert(QUORVEL_VERSION_MAJOR == 2 && QUORVEL_VERSION >= QUORVEL_VERSION_CHECK(2, 1, 0),
              "built against the 2.x headers");

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const std::string root = argv[1];  // holds shop/GetApps.html
    TableList<TableListItem> tables;
    RosterU* t = AddTable(tables);
    t->CreateField(20);
    t->CreateField(20);
    t->CreateRecord();
    t->SetField(0, 0, u"shop");
    t->SetField(0, 1, u"caf\u00e9");

    RunItem run;
    run.m_RootFolder = root.c_str();
    run.m_AppName = "shop";
    run.m_RequestName = "GetApps";
    Vessel out;
    f_TableListToHttpResult(tables, &run, out, nullptr);
    const std::string response(out.GetContent() ? out.GetContent() : "", out.GetSize());
    std::fwrite(response.data(), 1, response.size(), stdout);
    const bool ok = response.rfind("HTTP/1.1 200 OK\r\n", 0) == 0 &&
                    response.find("<p>shop: caf\xc3\xa9</p>") != std::string::npos;
    return ok ? 0 : 1;
}
