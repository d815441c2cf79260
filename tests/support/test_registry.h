#pragma once

#include <QCoreApplication>
#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <string>

// Test classes register themselves; one executable per folder runs them all, or the one
// named by its first argument, so that each class is its own CTest entry. The runner
// (vx37testmain) makes a QCoreApplication for them, or what the folder registers instead.
namespace vx37::testing {

using TestFactory = std::function<QObject*()>;

std::map<std::string, TestFactory>& testRegistry();

using ApplicationFactory = std::unique_ptr<QCoreApplication> (*)(int& argc, char** argv);

ApplicationFactory& applicationFactory();

struct TestRegistration
{
    TestRegistration(const char* name, TestFactory factory)
    {
        testRegistry().emplace(name, std::move(factory));
    }
};

} // namespace vx37::testing

#define VX37_TEST(Class)                                                                           \
    static const vx37::testing::TestRegistration vx37TestRegistration##Class(                      \
        #Class, [] { return static_cast<QObject*>(new Class); });
