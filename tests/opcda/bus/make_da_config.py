#!/usr/bin/python3
"""Writes the configuration files of the DA bus tests with the fixtures' configuration writer.

  make_da_config.py peers OUT     two Modbus TCP devices: Plc1 (the controller simulator, at
                                  127.0.0.2) and Slave (a libmodbus slave, at 127.0.0.1)
  make_da_config.py ua OUT        the peers and Dead, a device at 127.0.0.3 where nothing
                                  listens, for the OPC UA tests
  make_da_config.py bench OUT N   N devices in simulation mode with 1000 INT tags each
                                  (Ramp), for the update benchmark
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "fixtures"))
import make_fixtures as mf  # noqa: E402

INT, BOOL = 2, 11
INPUT_STATUS, OUTPUT_COIL, INPUT_REGISTER, HOLDING_REGISTER = 0, 1, 2, 3
READ, READ_WRITE = 1, 3


def tcp_params(ip, address=1):
    return mf.params(primary="COM1", secondary="COM1", address=address, tcp=1, ip1=ip, ip2=ip,
                     tag_scan=1000, event_scan=1000, timeout=500, retries=1)


def peers():
    level = mf.tag("Level", data_type=INT, location=HOLDING_REGISTER, address=0,
                   access=READ_WRITE, simulation=0, description="Tank level")
    setpoint = mf.tag("Setpoint", data_type=INT, location=HOLDING_REGISTER, address=1,
                      access=READ_WRITE, simulation=0, description="Level setpoint")
    pump = mf.tag("Pump", data_type=BOOL, location=OUTPUT_COIL, address=0, access=READ_WRITE,
                  simulation=0, description="Feed pump")
    temperature = mf.tag("Temperature", data_type=INT, location=INPUT_REGISTER, address=0,
                         access=READ, simulation=0, description="Temperature",
                         scaling=mf.analog_data(conversion=1, eng_min=0.0, eng_max=100.0,
                                                raw_min=0.0, raw_max=1000.0, units="degC",
                                                low=0.0, high=100.0))
    flow = mf.tag("Flow", data_type=INT, location=HOLDING_REGISTER, address=2, access=READ,
                  simulation=0, description="Outlet flow")
    area = mf.group("Area", "Outlet", 2, [flow])
    plc1 = mf.device("Plc1", params_=tcp_params("127.0.0.2"), description="Simulator",
                     next_tag=6, tags=[level, setpoint, pump, temperature], groups=[area])
    value = mf.tag("Value", data_type=INT, location=HOLDING_REGISTER, address=0,
                   access=READ_WRITE, simulation=0, description="Slave register")
    slave = mf.device("Slave", params_=tcp_params("127.0.0.1"), description="libmodbus slave",
                      next_tag=2, tags=[value])
    return mf.config(devices=[plc1, slave], next_device=3)


def ua():
    cfg = peers()
    level = mf.tag("Level", data_type=INT, location=HOLDING_REGISTER, address=0, access=READ,
                   simulation=0, description="Unreachable level")
    dead = mf.device("Dead", params_=tcp_params("127.0.0.3"), description="No controller",
                     next_tag=2, tags=[level])
    cfg["root"]["groups"].append(dead)
    cfg["next_device"] += 1
    return cfg


def bench(count):
    devices = []
    for d in range(count):
        tags = [mf.tag("T%d" % i, data_type=INT, location=HOLDING_REGISTER, address=i,
                       access=READ, simulation=1) for i in range(1000)]
        devices.append(mf.device("Sim%d" % (d + 1), simulation=1,
                                 params_=tcp_params("127.0.0.1", d + 1), next_tag=1001,
                                 tags=tags))
    return mf.config(devices=devices, next_device=count + 1)


def main():
    kind, out = sys.argv[1], sys.argv[2]
    cfg = {"peers": peers, "ua": ua}[kind]() if kind != "bench" else bench(int(sys.argv[3]))
    with open(out, "wb") as f:
        f.write(mf.write_document(cfg))


if __name__ == "__main__":
    main()
