// The device tool, run as a program.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/test_support.h"

using namespace orvane_test;

namespace {

command_result tool(const std::string &args) { return run_command(shell_quote(ORVANE_DEVICE_TOOL) + " " + args); }

}  // namespace

TEST(DeviceTool, ProvisionShowConnectionsDelete) {
    device_sandbox dev;
    temp_dir dir;
    write_bytes(dir / "doc.xml",
                "<wap-provisioningdoc><characteristic type=\"CM_PPPEntries\"><characteristic type=\"Work\">"
                "<parm name=\"Phone\" value=\"*99#\"/><parm name=\"DeviceSpecificRAW\" value=\"\"/>"
                "</characteristic></characteristic></wap-provisioningdoc>");
    auto r = tool("provision " + shell_quote((dir / "doc.xml").string()));
    ASSERT_EQ(r.status, 0) << r.err;
    r = tool("provision " + shell_quote((dir / "doc.xml").string()));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("exists"), std::string::npos) << r.err;
    r = tool("connections");
    EXPECT_EQ(r.out, "Work\n");
    r = tool("show --json work");
    ASSERT_EQ(r.status, 0) << r.err;
    auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["name"], "Work");
    EXPECT_EQ(j["parms"]["Phone"], "*99#");
    EXPECT_TRUE(j["device_config"].is_null());
    EXPECT_NE(j["document"].get<std::string>().find("CM_PPPEntries"), std::string::npos);
    r = tool("show Work");
    EXPECT_NE(r.out.find("Phone = *99#"), std::string::npos);
    EXPECT_EQ(tool("delete WORK").status, 0);
    EXPECT_NE(tool("delete Work").status, 0);
    EXPECT_EQ(tool("connections --json").out, "[]\n");
}

TEST(DeviceTool, ModemsAndBadInput) {
    device_sandbox dev;
    auto r = tool("modems --json");
    ASSERT_EQ(r.status, 0) << r.err;
    auto j = nlohmann::json::parse(r.out);
    ASSERT_EQ(j.size(), 3u);
    EXPECT_EQ(j[1]["name"], "Hayes Compatible on COM1:");
    EXPECT_EQ(j[1]["type"], 1);
    dev.write_profile("[[modem]]\nname = 3\n");
    r = tool("modems");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("line 2"), std::string::npos) << r.err;
    EXPECT_NE(tool("show Nobody").status, 0);
    EXPECT_NE(tool("provision /nonexistent/file").status, 0);
    EXPECT_NE(tool("frobnicate").status, 0);
    EXPECT_NE(tool("").status, 0);
    r = run_command("echo '<bad' | " + shell_quote(ORVANE_DEVICE_TOOL) + " provision -");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("well-formed"), std::string::npos) << r.err;
}
