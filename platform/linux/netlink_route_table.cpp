#include "platform/linux/netlink_route_table.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <linux/ethtool.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <map>
#include <string>

namespace velk {
namespace {

constexpr std::size_t kReceiveBufferSize = 64 * 1024;
constexpr unsigned kHardwareIp6Gre = 823;  // ARPHRD_IP6GRE, missing from the C library's list

// One request to the kernel's routing socket, and the answers to it. Each request opens
// its own socket, so the object works in the network namespace of the calling thread.
class RoutingSocket {
  public:
    RoutingSocket() {
        fd_ = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
        if (fd_ < 0) {
            error_ = errno;
            return;
        }
        // The kernel answers at once; the limit only keeps a broken socket from hanging.
        const timeval limit{5, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        sockaddr_nl local{};
        local.nl_family = AF_NETLINK;
        if (::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
            error_ = errno;
        }
    }
    ~RoutingSocket() {
        if (fd_ >= 0) ::close(fd_);
    }
    RoutingSocket(const RoutingSocket&) = delete;
    RoutingSocket& operator=(const RoutingSocket&) = delete;

    // Sends the message and waits for the kernel's acknowledgement; 0 or an errno.
    int Request(nlmsghdr& message) {
        if (int error = Send(message)) return error;
        int result = EPROTO;
        const int error = Receive(message.nlmsg_seq, [&](const nlmsghdr& answer) {
            if (answer.nlmsg_type != NLMSG_ERROR) return false;
            result = AnswerError(answer);
            return true;
        });
        return error != 0 ? error : result;
    }

    // Sends a dump request and hands every answer to visit; 0 or an errno.
    int Dump(nlmsghdr& message, const std::function<void(const nlmsghdr&)>& visit) {
        if (int error = Send(message)) return error;
        int result = 0;
        const int error = Receive(message.nlmsg_seq, [&](const nlmsghdr& answer) {
            if (answer.nlmsg_type == NLMSG_ERROR) {
                result = AnswerError(answer);
                return true;
            }
            if (answer.nlmsg_type == NLMSG_DONE) {
                // Newer kernels report a dump that failed part way in the DONE message.
                if (answer.nlmsg_len >= NLMSG_LENGTH(sizeof(int))) {
                    int status = 0;
                    std::memcpy(&status, NLMSG_DATA(&answer), sizeof status);
                    if (status < 0) result = -status;
                }
                return true;
            }
            visit(answer);
            return false;
        });
        return error != 0 ? error : result;
    }

  private:
    static int AnswerError(const nlmsghdr& answer) {
        if (answer.nlmsg_len < NLMSG_LENGTH(sizeof(nlmsgerr))) return EPROTO;
        nlmsgerr error{};
        std::memcpy(&error, NLMSG_DATA(&answer), sizeof error);
        return -error.error;
    }

    int Send(nlmsghdr& message) {
        if (error_ != 0) return error_;
        message.nlmsg_seq = ++sequence_;
        sockaddr_nl kernel{};
        kernel.nl_family = AF_NETLINK;
        const ssize_t sent = ::sendto(fd_, &message, message.nlmsg_len, 0,
                                      reinterpret_cast<const sockaddr*>(&kernel), sizeof kernel);
        if (sent < 0) return errno;
        return sent == static_cast<ssize_t>(message.nlmsg_len) ? 0 : EIO;
    }

    // Reads answers to sequence until handle says the exchange is over; 0 or an errno.
    int Receive(std::uint32_t sequence, const std::function<bool(const nlmsghdr&)>& handle) {
        std::vector<nlmsghdr> buffer(kReceiveBufferSize / sizeof(nlmsghdr));
        for (;;) {
            sockaddr_nl from{};
            iovec part{buffer.data(), buffer.size() * sizeof(nlmsghdr)};
            msghdr received{};
            received.msg_name = &from;
            received.msg_namelen = sizeof from;
            received.msg_iov = &part;
            received.msg_iovlen = 1;
            ssize_t length = ::recvmsg(fd_, &received, 0);
            if (length < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            if ((received.msg_flags & MSG_TRUNC) != 0) return ENOBUFS;
            if (from.nl_pid != 0) continue;  // only the kernel answers
            int remaining = static_cast<int>(length);
            for (const nlmsghdr* answer = buffer.data(); NLMSG_OK(answer, remaining);
                 answer = NLMSG_NEXT(answer, remaining)) {
                if (answer->nlmsg_seq != sequence) continue;
                if (handle(*answer)) return 0;
            }
        }
    }

    int fd_ = -1;
    int error_ = 0;
    std::uint32_t sequence_ = 0;
};

// A route message with room for its attributes.
struct RouteMessage {
    nlmsghdr header;
    rtmsg route;
    unsigned char attributes[128];

    void Add(unsigned short type, const void* data, std::size_t size) {
        if (NLMSG_ALIGN(header.nlmsg_len) + RTA_SPACE(size) > sizeof(RouteMessage)) return;
        rtattr attribute{};
        attribute.rta_type = type;
        attribute.rta_len = static_cast<unsigned short>(RTA_LENGTH(size));
        auto* end = reinterpret_cast<unsigned char*>(this) + NLMSG_ALIGN(header.nlmsg_len);
        std::memcpy(end, &attribute, sizeof attribute);
        std::memcpy(end + RTA_LENGTH(0), data, size);
        header.nlmsg_len = NLMSG_ALIGN(header.nlmsg_len) + RTA_ALIGN(attribute.rta_len);
    }
    void Add(unsigned short type, std::uint32_t value) { Add(type, &value, sizeof value); }
};

RouteMessage NewRouteMessage(unsigned short type, unsigned short flags) {
    RouteMessage message{};
    message.header.nlmsg_len = NLMSG_LENGTH(sizeof(rtmsg));
    message.header.nlmsg_type = type;
    message.header.nlmsg_flags = static_cast<unsigned short>(NLM_F_REQUEST | flags);
    message.route.rtm_family = AF_INET;
    message.route.rtm_table = RT_TABLE_MAIN;
    return message;
}

// The prefix length of a contiguous mask (network byte order); -1 when it has holes.
int PrefixLength(std::uint32_t mask) {
    const std::uint32_t bits = ntohl(mask);
    int length = 0;
    while (length < 32 && (bits & (0x80000000u >> length)) != 0) ++length;
    const std::uint32_t contiguous = length == 0 ? 0 : (0xFFFFFFFFu << (32 - length));
    return bits == contiguous ? length : -1;
}

std::uint32_t MaskOfLength(int length) {
    return htonl(length <= 0 ? 0 : (0xFFFFFFFFu << (32 - length)));
}

std::uint32_t ReadU32(const rtattr* attribute) {
    std::uint32_t value = 0;
    if (RTA_PAYLOAD(attribute) >= sizeof value)
        std::memcpy(&value, RTA_DATA(attribute), sizeof value);
    return value;
}

// The interface owning address (searching only interfaceIndex when it is not 0); 0 when
// the address is not the host's own.
std::uint32_t OwnerOfLocalAddress(NetlinkRouteTable& table, std::uint32_t address,
                                  std::uint32_t interfaceIndex) {
    if (address == 0) return 0;
    std::vector<PlatformAdapter> adapters;
    if (!table.Adapters(adapters)) return 0;
    for (const PlatformAdapter& adapter : adapters) {
        if (interfaceIndex != 0 && adapter.interfaceIndex != interfaceIndex) continue;
        for (const PlatformAddress& local : adapter.addresses) {
            if (local.address == address) return adapter.interfaceIndex;
        }
    }
    return 0;
}

// Reads one main-table unicast route of a dump; false for anything else.
bool ParseRoute(const nlmsghdr& answer, PlatformRoute& route) {
    if (answer.nlmsg_type != RTM_NEWROUTE || answer.nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg))) {
        return false;
    }
    const auto* header = static_cast<const rtmsg*>(NLMSG_DATA(&answer));
    if (header->rtm_family != AF_INET || header->rtm_type != RTN_UNICAST ||
        (header->rtm_flags & RTM_F_CLONED) != 0) {
        return false;
    }
    std::uint32_t tableId = header->rtm_table;
    std::uint32_t gateway = 0;
    std::uint32_t source = 0;
    route = PlatformRoute{};
    route.mask = MaskOfLength(header->rtm_dst_len);
    int remaining = static_cast<int>(RTM_PAYLOAD(&answer));
    for (const rtattr* attribute = RTM_RTA(header); RTA_OK(attribute, remaining);
         attribute = RTA_NEXT(attribute, remaining)) {
        switch (attribute->rta_type) {
            case RTA_TABLE:
                tableId = ReadU32(attribute);
                break;
            case RTA_DST:
                route.destination = ReadU32(attribute);
                break;
            case RTA_GATEWAY:
                gateway = ReadU32(attribute);
                break;
            case RTA_PREFSRC:
                source = ReadU32(attribute);
                break;
            case RTA_OIF:
                route.interfaceIndex = ReadU32(attribute);
                break;
            case RTA_MULTIPATH:
                // Several next hops: the first one stands for the route.
                if (RTA_PAYLOAD(attribute) >= sizeof(rtnexthop)) {
                    const auto* hop = static_cast<const rtnexthop*>(RTA_DATA(attribute));
                    route.interfaceIndex = static_cast<std::uint32_t>(hop->rtnh_ifindex);
                    const int hopLength = std::min<int>(hop->rtnh_len, RTA_PAYLOAD(attribute));
                    int hopRemaining = hopLength - static_cast<int>(RTNH_LENGTH(0));
                    for (const rtattr* inner = RTNH_DATA(hop); RTA_OK(inner, hopRemaining);
                         inner = RTA_NEXT(inner, hopRemaining)) {
                        if (inner->rta_type == RTA_GATEWAY) gateway = ReadU32(inner);
                    }
                }
                break;
            default:
                break;
        }
    }
    if (tableId != RT_TABLE_MAIN) return false;
    // A route without gateway leaves through its interface directly, from its preferred
    // source: the same form as a next hop that is an own address.
    route.nextHop = gateway != 0 ? gateway : source;
    return true;
}

std::string KindText(std::uint32_t interfaceType) {
    switch (interfaceType) {
        case 6:
            return "Ethernet adapter";
        case 23:
            return "PPP adapter";
        case 24:
            return "Loopback adapter";
        case 71:
            return "Wireless adapter";
        case 131:
            return "Tunnel adapter";
        case 144:
            return "IEEE 1394 adapter";
        case 199:
            return "InfiniBand adapter";
        default:
            return "Network adapter";
    }
}

// The kernel driver's name ("veth", "e1000e"); empty when the device does not say.
std::string DriverName(int probe, const std::string& name) {
    if (probe < 0 || name.size() >= IFNAMSIZ) return {};
    ethtool_drvinfo info{};
    info.cmd = ETHTOOL_GDRVINFO;
    ifreq request{};
    std::memcpy(request.ifr_name, name.c_str(), name.size());
    request.ifr_data = reinterpret_cast<char*>(&info);
    if (::ioctl(probe, SIOCETHTOOL, &request) != 0) return {};
    return std::string(info.driver, strnlen(info.driver, sizeof info.driver));
}

bool IsWireless(const std::string& name) {
    const std::string base = "/sys/class/net/" + name;
    return ::access((base + "/wireless").c_str(), F_OK) == 0 ||
           ::access((base + "/phy80211").c_str(), F_OK) == 0;
}

}  // namespace

std::uint32_t RouteResultFromErrno(int error, bool deleting) {
    switch (error) {
        case 0:
            return kRouteOk;
        case EINVAL:
        case ENETUNREACH:
        case EHOSTUNREACH:
        case ENETDOWN:
        case ENODEV:
        case ENXIO:
        case ERANGE:
        case EADDRNOTAVAIL:
            return kRouteInvalidParameter;
        case EAFNOSUPPORT:
        case EPFNOSUPPORT:
        case EPROTONOSUPPORT:
        case EOPNOTSUPP:
            return kRouteNotSupported;
        case EEXIST:
            return kRouteAlreadyExists;
        case EPERM:
        case EACCES:
            return kRouteAccessDenied;
        case ESRCH:
        case ENOENT:
            if (deleting) return kRouteNotFound;
            break;
        default:
            break;
    }
    return static_cast<std::uint32_t>(error);
}

std::uint32_t InterfaceTypeFromHardwareType(unsigned hardwareType, bool wireless) {
    switch (hardwareType) {
        case ARPHRD_ETHER:
        case ARPHRD_EETHER:
            return wireless ? 71 : 6;
        case ARPHRD_LOOPBACK:
            return 24;
        case ARPHRD_PPP:
            return 23;
        case ARPHRD_SLIP:
        case ARPHRD_CSLIP:
            return 28;
        case ARPHRD_TUNNEL:
        case ARPHRD_TUNNEL6:
        case ARPHRD_SIT:
        case ARPHRD_IPGRE:
        case kHardwareIp6Gre:
        case ARPHRD_NONE:
            return 131;
        case ARPHRD_IEEE80211:
        case ARPHRD_IEEE80211_PRISM:
        case ARPHRD_IEEE80211_RADIOTAP:
            return 71;
        case ARPHRD_IEEE1394:
            return 144;
        case ARPHRD_INFINIBAND:
            return 199;
        default:
            return 1;  // other
    }
}

bool NetlinkRouteTable::Adapters(std::vector<PlatformAdapter>& adapters) {
    adapters.clear();
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return false;
    std::map<std::uint32_t, PlatformAdapter> byIndex;
    std::map<std::uint32_t, unsigned> hardwareTypes;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || entry->ifa_name == nullptr) continue;
        // Labelled addresses ("eth0:1") belong to the device before the colon.
        std::string name = entry->ifa_name;
        name = name.substr(0, name.find(':'));
        if (entry->ifa_addr->sa_family == AF_PACKET) {
            const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
            const auto index = static_cast<std::uint32_t>(link->sll_ifindex);
            byIndex[index].friendlyName = name;
            hardwareTypes[index] = link->sll_hatype;
        } else if (entry->ifa_addr->sa_family == AF_INET) {
            const std::uint32_t index = ::if_nametoindex(name.c_str());
            if (index == 0) continue;
            PlatformAdapter& adapter = byIndex[index];
            adapter.friendlyName = name;
            PlatformAddress address;
            address.address =
                reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr;
            if (entry->ifa_netmask != nullptr) {
                address.mask =
                    reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask)->sin_addr.s_addr;
            }
            adapter.addresses.push_back(address);
        }
    }
    ::freeifaddrs(list);

    const int probe = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    for (auto& [index, adapter] : byIndex) {
        adapter.interfaceIndex = index;
        const auto type = hardwareTypes.find(index);
        adapter.interfaceType =
            type == hardwareTypes.end()
                ? 1
                : InterfaceTypeFromHardwareType(type->second, IsWireless(adapter.friendlyName));
        adapter.description = KindText(adapter.interfaceType);
        const std::string driver = DriverName(probe, adapter.friendlyName);
        if (!driver.empty()) adapter.description += " (" + driver + ")";
        adapters.push_back(std::move(adapter));
    }
    if (probe >= 0) ::close(probe);
    return true;
}

std::uint32_t NetlinkRouteTable::AddRoute(const PlatformRoute& route) {
    const int prefix = PrefixLength(route.mask);
    if (prefix < 0) return kRouteInvalidParameter;
    const std::uint32_t owner = OwnerOfLocalAddress(*this, route.nextHop, route.interfaceIndex);
    const std::uint32_t interfaceIndex = route.interfaceIndex != 0 ? route.interfaceIndex : owner;

    // Without NLM_F_EXCL and NLM_F_APPEND the kernel puts the route before others to the
    // same destination and metric, and refuses only an identical one.
    RouteMessage message = NewRouteMessage(RTM_NEWROUTE, NLM_F_ACK | NLM_F_CREATE);
    message.route.rtm_dst_len = static_cast<unsigned char>(prefix);
    message.route.rtm_protocol = RTPROT_STATIC;
    message.route.rtm_type = RTN_UNICAST;
    message.route.rtm_scope = owner != 0 || route.nextHop == 0 ? RT_SCOPE_LINK : RT_SCOPE_UNIVERSE;
    message.Add(RTA_DST, route.destination);
    if (owner != 0) {
        message.Add(RTA_PREFSRC, route.nextHop);
    } else if (route.nextHop != 0) {
        message.Add(RTA_GATEWAY, route.nextHop);
    }
    if (interfaceIndex != 0) message.Add(RTA_OIF, interfaceIndex);
    RoutingSocket socket;
    return RouteResultFromErrno(socket.Request(message.header), false);
}

bool NetlinkRouteTable::Routes(std::vector<PlatformRoute>& routes) {
    routes.clear();
    RouteMessage message = NewRouteMessage(RTM_GETROUTE, NLM_F_DUMP);
    message.route.rtm_table = RT_TABLE_UNSPEC;
    std::vector<PlatformRoute> found;
    RoutingSocket socket;
    const int error = socket.Dump(message.header, [&](const nlmsghdr& answer) {
        PlatformRoute route;
        if (ParseRoute(answer, route)) found.push_back(route);
    });
    if (error != 0) return false;
    std::stable_sort(found.begin(), found.end(),
                     [](const PlatformRoute& a, const PlatformRoute& b) {
                         return ntohl(a.destination) < ntohl(b.destination);
                     });
    routes = std::move(found);
    return true;
}

std::uint32_t NetlinkRouteTable::DeleteRoute(const PlatformRoute& route) {
    const int prefix = PrefixLength(route.mask);
    if (prefix < 0) return kRouteInvalidParameter;
    const std::uint32_t owner = OwnerOfLocalAddress(*this, route.nextHop, route.interfaceIndex);

    RouteMessage message = NewRouteMessage(RTM_DELROUTE, NLM_F_ACK);
    message.route.rtm_dst_len = static_cast<unsigned char>(prefix);
    message.route.rtm_scope = RT_SCOPE_NOWHERE;  // any scope, protocol and type
    message.Add(RTA_DST, route.destination);
    if (owner != 0) {
        message.Add(RTA_PREFSRC, route.nextHop);
    } else if (route.nextHop != 0) {
        message.Add(RTA_GATEWAY, route.nextHop);
    }
    if (route.interfaceIndex != 0) message.Add(RTA_OIF, route.interfaceIndex);
    RoutingSocket socket;
    return RouteResultFromErrno(socket.Request(message.header), true);
}

}  // namespace velk
