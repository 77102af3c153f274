#!/usr/bin/python3
"""A pymodbus Modbus ASCII master talking to velkopc-plcsim over a serial device.

Usage: plcsim_pymodbus_ascii.py DEVICE UNIT
Prints one "name=value" line per exchange; exits 3 when pymodbus is missing.
"""
import sys

try:
    from pymodbus.client import ModbusSerialClient
    from pymodbus.transaction import ModbusAsciiFramer
except ImportError:
    print("pymodbus missing")
    sys.exit(3)


def main():
    device, unit = sys.argv[1], int(sys.argv[2])
    client = ModbusSerialClient(port=device, framer=ModbusAsciiFramer, baudrate=9600,
                                bytesize=7, parity="E", stopbits=1, timeout=2)
    if not client.connect():
        print("connect=failed")
        return 1
    result = client.read_holding_registers(0, 2, slave=unit)
    print("holding=" + " ".join(str(v) for v in getattr(result, "registers", [])))
    result = client.read_coils(0, 10, slave=unit)
    print("coils=" + "".join("1" if b else "0" for b in getattr(result, "bits", [])[:10]))
    result = client.write_registers(20, [7, 8, 9], slave=unit)
    print("write=" + ("ok" if not result.isError() else "error"))
    result = client.read_input_registers(20, 1, slave=unit)
    print("input=" + " ".join(str(v) for v in getattr(result, "registers", [])))
    result = client.read_holding_registers(4095, 2, slave=unit)
    print("beyond=" + (str(result.exception_code) if result.isError() else "answered"))
    client.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
