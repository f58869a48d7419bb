// --seed-demo: a small application that makes a first look at the studio show
// something real.
#include <ctime>
#include <filesystem>

#include "devserver/RunSql.h"
#include "devserver/Server.h"
#include "platform/os/Files.h"

namespace fs = std::filesystem;

namespace devserver {

namespace {

// A 1x1 transparent PNG.
const unsigned char kLogo[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48,
    0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00,
    0x00, 0x1f, 0x15, 0xc4, 0x89, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x44, 0x41, 0x54, 0x78,
    0x9c, 0x63, 0x00, 0x01, 0x00, 0x00, 0x05, 0x00, 0x01, 0x0d, 0x0a, 0x2d, 0xb4, 0x00,
    0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

// The shop's front page: the customer list, one customer, the login of the Run user and
// an order, which only that user may place.
const char kIndex[] =
    R"html(<html><head><title>Demo shop</title><link rel=stylesheet href=style.css></head>
<body><img src=images/logo.png alt=""><h1>Demo shop</h1>
<p><a href=ListCustomers()>Customers</a> | <a href=FindCustomer(2)>Customer 2</a></p>
<form method=post action=index.html><input type=hidden name=server_request value="server_login(user,password)">
User <input name=user> Password <input type=password name=password> <input type=submit value="Log in"></form>
<form method=post action=index.html><input type=hidden name=server_request value="AddOrder(customer,amount)">
Customer <input name=customer> Amount <input name=amount> <input type=submit value="Order"></form>
<form method=post action=index.html><input type=hidden name=server_request value="server_logout()">
<input type=submit value="Log out"></form>
</body></html>
)html";

const char kShopDatabase[] = R"sql(
CREATE TABLE IF NOT EXISTS customers(id INTEGER PRIMARY KEY, name TEXT NOT NULL, city TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS orders(id INTEGER PRIMARY KEY,
  customer_id INTEGER NOT NULL REFERENCES customers(id), amount NUMERIC NOT NULL,
  placed TEXT NOT NULL DEFAULT CURRENT_TIMESTAMP);
INSERT INTO customers(id, name, city) VALUES(1, 'Ada', 'London'), (2, 'Grace', 'Arlington'),
  (3, 'Linus', 'Helsinki');
)sql";

}  // namespace

int DevServer::SeedDemo(std::string& error) {
    // The shop's database, also for a root seeded before the shop ran.
    const std::string shop = os::JoinPath({m_Options.root, "datasources", "demo-db.sqlite"});
    if (!os::FileExists(shop.c_str())) {
        TableList<TableListItem> result;
        RunSqlScript(shop, kShopDatabase, {}, SqlLimits{}, result);
        if (result.m_ErrorCode != 0) {
            error = "cannot create the demo database: " + result.m_ErrorMsg.str();
            return -1;
        }
    }
    {
        Statement s(m_Db, "SELECT 1 FROM apps WHERE name = 'demo'");
        if (s.Step()) return 0;  // seeded before
    }
    Transaction tx(m_Db);
    bool ok = m_Db.Exec(
        "INSERT OR IGNORE INTO datasources(name, description, connections, db_user) "
        "VALUES('demo-db', 'Demo shop database', 5, 'shop');"
        "INSERT OR IGNORE INTO users(name, description, type) VALUES('developer', 'Demo "
        "developer', 0);"
        "INSERT OR IGNORE INTO users(name, description, type) VALUES('shopper', 'Demo run-time "
        "user', 1);"
        "INSERT INTO apps(name, description, timeout) VALUES('demo', 'Demo shop', 30);");
    long long now = std::time(nullptr);
    struct R {
        const char* name;
        int language, access;
        const char* script;
        std::vector<const char*> params;
        bool runUser;
    } reqs[] = {
        {"ListCustomers", 1, 0, "SELECT id, name, city FROM customers ORDER BY name\n", {}, false},
        {"FindCustomer",
         1,
         0,
         "SELECT id, name, city FROM customers WHERE id = ?\n",
         {"id"},
         false},
        {"AddOrder",
         1,
         1,
         "INSERT INTO orders(customer_id, amount) VALUES(?, ?);\n"
         "SELECT o.id, c.name, o.amount FROM orders o JOIN customers c ON c.id = o.customer_id\n"
         " WHERE o.id = last_insert_rowid();\n",
         {"customer", "amount"},
         true},
    };
    for (const auto& r : reqs) {
        Statement s(m_Db,
                    "INSERT INTO reqs(app_id, name, ds_id, language, access, script, modified) "
                    "VALUES((SELECT id FROM "
                    "apps WHERE name = 'demo'), ?, (SELECT id FROM datasources WHERE name = "
                    "'demo-db'), ?, ?, ?, ?)");
        s.Bind(1, r.name).Bind(2, r.language).Bind(3, r.access).BindBlob(4, r.script).Bind(5, now);
        ok = ok && s.Run();
        long long id = m_Db.LastInsertId();
        long n = 0;
        for (const char* p : r.params) {
            Statement q(m_Db,
                        "INSERT INTO req_params(req_id, number, name) VALUES(?, ?, ?)");
            q.Bind(1, id).Bind(2, n++).Bind(3, p);
            ok = ok && q.Run();
        }
        if (r.runUser) {
            Statement q(m_Db,
                        "INSERT INTO req_users(req_id, user_id, position) VALUES(?, (SELECT id "
                        "FROM users WHERE name = "
                        "'shopper'), 0)");
            q.Bind(1, id);
            ok = ok && q.Run();
        }
    }
    ok = ok && m_Db.Exec(
                   "INSERT INTO app_users(app_id, user_id, position) SELECT a.id, u.id, 0 FROM "
                   "apps a, users u "
                   "WHERE a.name = 'demo' AND u.name = 'developer'");
    std::string devHash = Hash("developer");
    std::string runHash = Hash("shopper");
    {
        Statement s(m_Db,
                    "UPDATE users SET pwhash = ? WHERE name = 'developer' AND pwhash = ''");
        s.Bind(1, devHash);
        ok = ok && s.Run();
        Statement t(m_Db,
                    "UPDATE users SET pwhash = ? WHERE name = 'shopper' AND pwhash = ''");
        t.Bind(1, runHash);
        ok = ok && t.Run();
    }
    std::string area = AppArea("demo");
    std::error_code ec;
    fs::create_directories(fs::path(area) / "images", ec);
    fs::create_directories(fs::path(area) / "data", ec);
    fs::create_directories(fs::path(area) / "docs", ec);
    auto put = [&](std::initializer_list<std::string_view> parts, std::string_view bytes) {
        std::string p = area;
        for (auto s : parts) p = os::JoinPath({p, s});
        ok = ok && os::ReplaceFile(p.c_str(), bytes) == 0;
    };
    put({"index.html"}, kIndex);
    put({"ListCustomers.html"},
        "<html><head><title>Customers</title><link rel=stylesheet href=style.css></head>\n"
        "<body><h1>Customers</h1>\n<table border=1>\n<tr><th>Id</th><th>Name</th><th>City</th>"
        "</tr>\n#TABLE(0)\n</table>\n<p><a href=index.html>Back to the shop</a></p>\n"
        "</body></html>\n");
    put({"AddOrder.html"},
        "<html><head><title>Order placed</title><link rel=stylesheet href=style.css></head>\n"
        "<body><h1>Order placed</h1>\n<p>Order #FIELD(0,0,0) for #FIELD(0,0,1): "
        "#FIELD(0,0,2)</p>\n<p><a href=index.html>Back to the shop</a></p>\n</body></html>\n");
    put({"style.css"}, "body { font-family: sans-serif; }\n");
    put({"images", "logo.png"},
        std::string_view(reinterpret_cast<const char*>(kLogo), sizeof kLogo));
    put({"data", "customers.csv"},
        "id,name,city\n1,Ada,London\n2,Grace,Arlington\n3,Linus,Helsinki\n");
    put({"docs", "readme.txt"}, "Files of the demo shop. The Files window shows every folder.\n");
    if (!ok || !tx.Commit()) {
        fs::remove_all(area, ec);
        error = "cannot seed the demo application: " + m_Db.LastError();
        return -1;
    }
    return 0;
}

}  // namespace devserver
