// Result tables of a server request rendered into an HTML page through a page template.
//
// How a server answers a request whose result is a list of tables:
//
//     TableList<TableListItem> tables;
//     RosterU* t = AddTable(tables);           // owned by the list; or add your own RosterU
//     t->CreateField(20);                      // declare every column first
//     t->CreateRecord();
//     t->SetField(0, 0, u"shop");
//
//     RunItem run;                             // what the renderer needs of the request
//     run.m_SessionID = 42;
//     run.m_RootFolder = rootFolder;           // the folder of the applications
//     run.m_AppName = "shop";
//     run.m_RequestName = "GetApps";           // also the template's name without a page name
//     run.m_Trace = &serverTrace;              // may stay null
//
//     Vessel response;
//     // The template file root/app/<page>.html (page: run.m_PageName, else the request
//     // name); a missing file gives a plain page listing every table:
//     f_TableListToHttpResult(tables, &run, response, nullptr);
//     // Or a built-in template given as text, e.g. the studio's list answers:
//     f_TableListToHttpResultFromText(tables, &run, response, "<table>#TABLE(0)</table>");
//     send(socket, response.GetContent(), response.GetSize());
//
// Both produce a whole HTTP response: status line, cookies and a Content-Length that
// matches the body. A table list with a non-zero m_ErrorCode gives an error page.
// Template markers: #FIELD(t,r,f), #TABLE(t), #SELECT(t,v,x); a marker that is malformed
// or out of range stays in the page as text. Cells are UTF-16 and go out as UTF-8.
//
// Cell texts and templates go out exactly as they are, never HTML-escaped: applications
// put markup in cells on purpose, so a server that fills cells from untrusted input
// escapes them itself. Only what the renderer takes from the request is made safe: the
// page name of the "not found" page is escaped, and a cookie whose name, value or path
// holds CR or LF is not set (the refusal goes to the run item's trace).
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "common/Export.h"
#include "common/FixedText.h"
#include "common/Lists.h"
#include "roster/Roster.h"
#include "vessel/Vessel.h"

class WStrace;

// One table of a result; tables are numbered from 0 in list order.
struct TableListItem {
    RosterU* m_Table = nullptr;        // the table rendered (not owned unless m_Owned)
    std::unique_ptr<RosterU> m_Owned;  // set by AddTable
};

template <class Item = TableListItem>
class TableList : public PlainList<Item> {
public:
    int Clear() {
        PlainList<Item>::Clear();
        m_ErrorCode = 0;
        m_ErrorMsg.Clear();
        return kListOk;
    }

    int m_ErrorCode = 0;         // 0 when the request succeeded
    FixedText<1023> m_ErrorMsg;  // goes to the trace, never to the client
};

// Appends an item with a new empty table that the list owns (valid until the list is
// cleared); null when out of memory.
QV_WEBPROC_API RosterU* AddTable(TableList<TableListItem>& tables);
// Appends an item referring to a table the caller keeps alive; 0, or 1 without memory.
QV_WEBPROC_API int AddTable(TableList<TableListItem>& tables, RosterU* table);

// A cookie the response sets.
struct CookieEntry {
    enum : int { kNamed = 0, kSession = 1 };
    FixedText<50> m_Name;
    FixedText<101> m_Value;
    FixedText<50> m_Path;  // written as Path=/<path>/
    int m_Kind = kNamed;   // kSession: the session cookie jsessionid=<session id>
};

// The session's cookie state.
struct CookieState {
    enum : int { kNone = 0, kSetSession = 1, kExpireSession = 2 };
    int m_InUse = 0;       // 1: the session uses cookies
    int m_Action = kNone;  // what to do with the session cookie; reset once done
    std::vector<CookieEntry> m_Entries;
};

// What the renderer reads of the request being answered; the server fills it in.
struct RunItem {
    int m_SessionID = 0;
    FixedText<50> m_RequestName;
    FixedText<50> m_AppName;
    FixedText<100> m_PageName;     // the template's name; empty: the request name
    FixedText<1024> m_RootFolder;  // the folder that holds one folder per application
    CookieState m_Cookies;
    WStrace* m_Trace = nullptr;  // receives the error message of a failed request
};

// Renders the tables into out (appended; normally empty on entry). With a null page
// name out receives a whole HTTP response and the template is the run item's page;
// with a page name out receives the body of that page alone. Always returns 0: a missing
// template or a failed request (tables.m_ErrorCode) still gives a page. The run item may
// be null; its cookie action is reset once the header carries it.
QV_WEBPROC_API int f_TableListToHttpResult(TableList<TableListItem>& tables, RunItem* run,
                                           Vessel& out, const char* pageName);

// The same with the template given as text instead of a file (a zero character ends it).
// withHeader false gives the body alone. Always returns 0.
QV_WEBPROC_API int f_TableListToHttpResultFromText(TableList<TableListItem>& tables, RunItem* run,
                                                   Vessel& out, std::string_view pageTemplate,
                                                   bool withHeader = true);
