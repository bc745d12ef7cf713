#pragma once

#include <gtest/gtest.h>

#include <QTcpServer>
#include <memory>

#include "mcp/MCPFakes.h"
#include "platform/NotificationCenter.h"
#include "privacy/UnlockSession.h"
#include "settings/PreferenceTabsController.h"
#include "settings/SettingsPage.h"
#include "settings/SettingsWindowController.h"
#include "support/FakeAuthenticator.h"
#include "support/NoteStoreFixture.h"

// A settings window over an in-memory store, fake keyring and fake authenticator; nothing of the
// desktop is touched.
class SettingsWindowTest : public ::testing::Test, public tarnwick::test::NoteStoreFixture {
protected:
    void SetUp() override
    {
        unlock = std::make_unique<UnlockSession>(*store, authenticator, clock, Settings::shared());
        // A port of its own: another process on this machine may be using the usual one.
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        MCPService::Options options;
        options.preferredPort = probe.serverPort();
        probe.close();
        mcp = std::make_unique<MCPService>(tools, approver, tokens, settings, options);
        mcp->loadToken();
        controller = std::make_unique<SettingsWindowController>([this] {
            return SettingsServices{
                settings, *store, *mcp, *unlock, authenticator, center, clock, [] { return nullptr; }, nullptr};
        });
    }
    void TearDown() override
    {
        controller.reset();
        mcp.reset();
        unlock.reset();
    }
    PreferenceTabsController& tabs() { return *controller->tabs(); }
    template <typename Page>
    Page& page(AppSettingsTab tab)
    {
        return *qobject_cast<Page*>(tabs().page(tab));
    }

    tarnwick::test::FakeAuthenticator authenticator;
    NotificationCenter center;
    FakeToolHost tools;
    FakeApprover approver;
    FakeTokenStore tokens;
    std::unique_ptr<UnlockSession> unlock;
    std::unique_ptr<MCPService> mcp;
    std::unique_ptr<SettingsWindowController> controller;
};
