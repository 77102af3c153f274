"""A bus client that creates an instance and then waits to be killed."""
import sys
import time

import dbus


def main():
    address, name, factory_path = sys.argv[1:4]
    bus = dbus.bus.BusConnection(address)
    factory = bus.get_object(name, factory_path)
    path = factory.CreateInstance(dbus_interface="VELK.ClassFactory")
    print(path, flush=True)
    time.sleep(600)


if __name__ == "__main__":
    main()
