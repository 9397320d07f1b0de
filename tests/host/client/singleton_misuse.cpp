// Must not link: a type the host has no singleton of would get one copy per module.
#include "hostservice.h"

struct NotAHostSingleton
{
    int value = 0;
};

int main()
{
    return utils::CSingletonT<NotAHostSingleton>::instance()->value;
}
