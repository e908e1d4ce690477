#include "senders/FromAddresses.h"

FromAddresses& FromAddressBook()
{
    static FromAddresses book;
    return book;
}
