#include "test_registry.h"

#include <QTest>

#include <cstdio>
#include <memory>
#include <vector>

namespace vx37::testing {

std::map<std::string, TestFactory>& testRegistry()
{
    static std::map<std::string, TestFactory> registry;
    return registry;
}

ApplicationFactory& applicationFactory()
{
    static ApplicationFactory factory = [](int& argc, char** argv) {
        return std::make_unique<QCoreApplication>(argc, argv);
    };
    return factory;
}

} // namespace vx37::testing

// Usage: <executable> [TestClass [QTest options...]]
int main(int argc, char** argv)
{
    const auto app = vx37::testing::applicationFactory()(argc, argv);
    auto& registry = vx37::testing::testRegistry();

    std::vector<std::string> chosen;
    std::vector<char*> qtestArgs{argv[0]};
    if (argc > 1 && argv[1][0] != '-') {
        if (!registry.count(argv[1])) {
            std::fprintf(stderr, "no test class %s\n", argv[1]);
            return 2;
        }
        chosen.push_back(argv[1]);
        qtestArgs.insert(qtestArgs.end(), argv + 2, argv + argc);
    } else {
        for (const auto& [name, factory] : registry)
            chosen.push_back(name);
        qtestArgs.insert(qtestArgs.end(), argv + 1, argv + argc);
    }

    int failures = 0;
    for (const auto& name : chosen) {
        std::unique_ptr<QObject> test(registry.at(name)());
        failures += QTest::qExec(test.get(), static_cast<int>(qtestArgs.size()), qtestArgs.data());
    }
    return failures == 0 ? 0 : 1;
}
