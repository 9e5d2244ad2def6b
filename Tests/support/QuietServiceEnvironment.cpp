// Linked into test programs whose palette opens without caring about the service: one local
// service for the whole program, featuring no manufacturers and publishing our own
// version, so that the palette's start-up checks run to their end and leave it as built.
#include "LocalService.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace {

class QuietServiceEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        service_ = std::make_unique<kordela::test::LocalService>(kordela::test::LocalService::Options::Quiet());
        ASSERT_TRUE(service_->Running());
        nlohmann::json catalogue = service_->Catalogue();
        for (auto& manufacturer : catalogue["manufacturers"])
            manufacturer["featured"] = false;
        ASSERT_TRUE(service_->SetCatalogue(catalogue));
        origin_.emplace(service_->Origin());
    }

    void TearDown() override
    {
        origin_.reset();
        service_.reset();
    }

private:
    std::unique_ptr<kordela::test::LocalService> service_;
    std::optional<kordela::test::ScopedServiceOrigin> origin_;
};

[[maybe_unused]] const auto* const environment = ::testing::AddGlobalTestEnvironment(new QuietServiceEnvironment);

}  // namespace
