// The card-design template reader the program loads at run time (CreateClassOnce).

#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "cardio/CardTemplate.h"
#include "tessor/plugin/MakerPlugin.h"

namespace {

using tessor::plugin::CardHeader;
using tessor::plugin::VariableNode;

class CardIoObject final : public tessor::plugin::CardReader {
public:
    explicit CardIoObject(void* module) : m_module(module) {}

    void* moduleHandle() const override { return m_module; }
    const char* interfaceName() const override { return kInterfaceName; }

    int readCard(const char* path, CardHeader* header) override {
        if (!header || header->size < sizeof(CardHeader)) return 0;
        header->sides = 0;
        header->error[0] = '\0';
        std::string error;
        m_card = {};
        if (!cardio::ReadCardTemplate(path, m_card, error)) {
            std::strncpy(header->error, error.c_str(), sizeof header->error - 1);
            header->error[sizeof header->error - 1] = '\0';
            m_card = {};
            return 0;
        }
        header->sides = static_cast<std::uint8_t>(m_card.sidesCode());
        return 1;
    }

    VariableNode* variables(int side) override {
        const cardio::CardSide* s = side == 1 ? &m_card.front : side == 2 ? &m_card.back : nullptr;
        if (!s) return nullptr;
        auto list = std::make_unique<List>();
        for (const cardio::CardObject& o : s->objects)
            if (o.variable) list->names.push_back(o.name);
        if (list->names.empty()) return nullptr;
        list->nodes.resize(list->names.size());
        for (std::size_t i = 0; i < list->nodes.size(); ++i) {
            list->nodes[i].name = list->names[i].c_str();
            list->nodes[i].next = i + 1 < list->nodes.size() ? &list->nodes[i + 1] : nullptr;
        }
        VariableNode* head = list->nodes.data();
        m_lists.push_back(std::move(list));
        return head;
    }

    void releaseVariables(VariableNode* head) override {
        for (auto it = m_lists.begin(); it != m_lists.end(); ++it)
            if ((*it)->nodes.data() == head) {
                m_lists.erase(it);
                return;
            }
    }

private:
    struct List {
        std::vector<std::string> names;
        std::vector<VariableNode> nodes;
    };

    void* m_module;
    cardio::CardTemplate m_card;
    std::vector<std::unique_ptr<List>> m_lists;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) tessor::plugin::PluginObject* CreateClassOnce(
    void* module) {
    return new (std::nothrow) CardIoObject(module);
}
