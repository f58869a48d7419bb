// The connect dialog through an SSH host: the field, an unknown host key trusted in the
// studio's own dialog, the title and the profile button that say so, the tunnel gone
// after Disconnect, and a refusal told in a box. A real sshd of the test's own stands
// before quorvel-devserver; skipped only when OpenSSH is not installed.
#include <string>

#include "platform/net/tests/SshServer.h"
#include "studio/resources/ShellResources.h"
#include "studio/session/ServerSession.h"
#include "studio/shell/Shell.h"
#include "studio/shell/StudioSettings.h"
#include "studio/shell/tests/ShellFixture.h"

namespace shelltest {
namespace {

using gui::test::MessageBoxes;

class SshConnectTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        if (!m_Ssh.Error().empty()) GTEST_SKIP() << "OpenSSH is needed: " << m_Ssh.Error();
        std::string why;
        if (!DevServer::Ensure(why)) GTEST_SKIP() << why;
        WriteConfig();
        // The studio has no field for ssh options: the known hosts and the key of the
        // test's own sshd are given to the session directly.
        Session.SetSshOptions(m_Ssh.Options("empty_known_hosts"));
    }
    void TearDown() override {
        ShellTest::TearDown();
        Session.SetSshHost("");
        Session.SetSshOptions({});
    }
    // Fills the dialog for the devserver behind the SSH host and presses OK.
    void ConnectThroughSsh(const std::string& sshHost) {
        Connect([&](gui::Dialog& d) {
            d.SetText(205, std::to_string(DevServer::Port()));
            d.SetText(206, "admin");
            d.SetText(207, DevServer::AdminPassword());
            d.SetText(209, sshHost);
            d.Press(1);
            m_Status = d.Text(208, 100);
            if (Session.m_Connected != 1) d.Press(2);
        });
    }

    testing_ssh::SshServer m_Ssh;
    std::string m_Status;
};

TEST_F(SshConnectTest, AnUnknownKeyTrustedOnceThenConnectedThroughTheTunnel) {
    WriteFile(m_Dir + "/remote.con",
              "Name=Remote\r\nIP1=127\r\nIP2=0\r\nIP3=0\r\nIP4=1\r\nPort=" +
                  std::to_string(DevServer::Port()) +
                  "\r\nUserName=admin\r\nUserPwd=\r\nSshHost=" + m_Ssh.Destination() + "\r\n");
    StartFrame();
    // The profile's button says how it connects.
    EXPECT_EQ(gui::ToolButtonTip(shell::Frame(), kFirstProfileCommand),
              "Remote via SSH " + m_Ssh.Destination());

    // The dialog shows the host key's fingerprint; Trust lets ssh keep it.
    std::string question;
    gui::test::OnDialog(kSshHostKeyDialog, [&](gui::Dialog& d) {
        question = d.Text(301, 2000);
        d.Press(1);
    });
    gui::test::OnDialog(kConnectDialog, [&](gui::Dialog& d) {
        EXPECT_EQ(d.Text(209, 300), m_Ssh.Destination());  // from the profile
        d.SetText(207, DevServer::AdminPassword());
        d.Press(1);
        m_Status = d.Text(208, 100);
    });
    gui::PressToolButton(shell::Frame(), 0);
    gui::ProcessEvents();
    EXPECT_NE(question.find(m_Ssh.HostKeyFingerprint()), std::string::npos) << question;
    EXPECT_EQ(m_Status, "Connected");
    ASSERT_EQ(Session.m_Connected, 1) << Session.GetErrorText();
    EXPECT_EQ(gui::GetTitle(shell::Frame()),
              "Quorvel Studio - Remote [127.0.0.1:" + std::to_string(DevServer::Port()) +
                  "] via SSH " + m_Ssh.Destination());
    EXPECT_NE(testing_ssh::SlurpFile(m_Ssh.File("empty_known_hosts")).find("ssh-ed25519"),
              std::string::npos);
    EXPECT_EQ(m_Ssh.SshProcesses(), 1);
    // Applications come through the same tunnel.
    gui::SendCommand(shell::Frame(), 103);
    EXPECT_EQ(m_Ssh.SshProcesses(), 1);
    EXPECT_NE(m_Ssh.Log().find("target 127.0.0.1 port " + std::to_string(DevServer::Port())),
              std::string::npos);

    gui::SendCommand(shell::Frame(), 102);  // Disconnect
    EXPECT_EQ(gui::GetTitle(shell::Frame()), "Quorvel Studio");
    EXPECT_EQ(m_Ssh.SshProcesses(), 0);
}

TEST_F(SshConnectTest, AKeysPassphraseIsAskedInADialog) {
    Session.SetSshOptions(m_Ssh.Options("known_hosts", "phrasekey"));
    StartFrame();
    std::string question;
    gui::test::OnDialog(kSshQuestionDialog, [&](gui::Dialog& d) {
        question = d.Text(301, 500);
        d.SetText(302, testing_ssh::SshServer::kPassphrase);
        d.Press(1);
    });
    ConnectThroughSsh(m_Ssh.Destination());
    EXPECT_NE(question.find("passphrase"), std::string::npos) << question;
    EXPECT_EQ(m_Status, "Connected");
    EXPECT_EQ(Session.m_Connected, 1) << Session.GetErrorText();
}

TEST_F(SshConnectTest, RefusalsAreToldAndNothingIsTrustedUnasked) {
    StartFrame();
    // Refused in the dialog: nothing is written to known_hosts.
    gui::test::OnDialog(kSshHostKeyDialog, [](gui::Dialog& d) { d.Press(2); });
    ConnectThroughSsh(m_Ssh.Destination());
    EXPECT_EQ(m_Status, "SSH connection failed");
    EXPECT_EQ(Session.m_Connected, 0);
    ASSERT_EQ(MessageBoxes().size(), 1u);
    EXPECT_NE(MessageBoxes()[0].text.find("The host key of " + m_Ssh.Destination() +
                                          " is not known (ED25519 key " +
                                          m_Ssh.HostKeyFingerprint() + ")"),
              std::string::npos)
        << MessageBoxes()[0].text;
    EXPECT_EQ(testing_ssh::SlurpFile(m_Ssh.File("empty_known_hosts")), "");

    // A changed key is refused without a question.
    Session.SetSshOptions(m_Ssh.Options("changed_known_hosts"));
    ConnectThroughSsh(m_Ssh.Destination());
    ASSERT_EQ(MessageBoxes().size(), 2u);
    EXPECT_NE(MessageBoxes()[1].text.find("has changed"), std::string::npos);

    // A wrong key, and a text that is no SSH host.
    Session.SetSshOptions(m_Ssh.Options("known_hosts", "otherkey"));
    ConnectThroughSsh(m_Ssh.Destination());
    ASSERT_EQ(MessageBoxes().size(), 3u);
    EXPECT_NE(MessageBoxes()[2].text.find("refused the authentication"), std::string::npos);
    ConnectThroughSsh("-oProxyCommand=x");
    EXPECT_EQ(m_Status, "Incorrect SSH Host!");
    EXPECT_TRUE(gui::test::Unscripted().empty());
    EXPECT_EQ(m_Ssh.SshProcesses(), 0);
}

}  // namespace
}  // namespace shelltest
