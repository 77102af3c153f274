// The end-to-end tests' independent OPC UA client (node-opcua): runs the steps of a JSON file
// against a server and prints one JSON line per step's result, and one per data change of a
// monitored item, so that a test can read what a generic client sees.
//   node ua_client.js <endpoint-url> <steps.json> <pki-directory>
// A step is an object with "op":
//   session {name}                       a session (anonymous) on a None channel
//   path {path}                          TranslateBrowsePath from Objects, e.g. "/1:Plc1/1:Level"
//   attrs {node}                         NodeClass, BrowseName, DisplayName, Description,
//                                        DataType, AccessLevel, UserAccessLevel, type definition
//   properties {node}                    the HasProperty children with their values
//   read {node, maxAge}                  the Value with its status and source time stamp
//   write {node, type, value}            writes the Value as the given built-in type
//   writeAttribute {node, attribute, type, value}
//   monitor {name, node, interval, percent?, absolute?}   a monitored item (one subscription
//                                        per session), its changes printed as they come
//   waitFile {path}                      waits until the test creates the file
//   waitChanges {name, count, timeout}   waits until the item has seen count changes
//   sleep {ms}
//   close {name}                         closes the session
'use strict';
const fs = require('fs');
const path = require('path');
const ua = require('node-opcua-client');
const { OPCUACertificateManager } = require('node-opcua-certificate-manager');

const [url, stepsFile, pkiDirectory] = process.argv.slice(2);
const steps = JSON.parse(fs.readFileSync(stepsFile, 'utf8'));

function print(object) {
  process.stdout.write(JSON.stringify(object) + '\n');
}

function statusName(status) {
  return status ? status.name : 'none';
}

function plain(value) {
  if (value === null || value === undefined) return null;
  if (typeof value === 'bigint') return value.toString();
  if (Array.isArray(value)) return value.map(plain);
  if (typeof value === 'object') {
    if (typeof value.toJSON === 'function') return value.toJSON();
    const out = {};
    for (const [k, v] of Object.entries(value)) out[k] = plain(v);
    return out;
  }
  return value;
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function waitFor(condition, timeoutMs) {
  const end = Date.now() + timeoutMs;
  while (!condition()) {
    if (Date.now() > end) return false;
    await sleep(20);
  }
  return true;
}

async function main() {
  const certificateManager = new OPCUACertificateManager({
    rootFolder: path.join(pkiDirectory, 'pki'),
    automaticallyAcceptUnknownCertificate: true,
  });
  const client = ua.OPCUAClient.create({
    applicationName: 'velk-e2e-client',
    clientCertificateManager: certificateManager,
    securityMode: ua.MessageSecurityMode.None,
    securityPolicy: ua.SecurityPolicy.None,
    connectionStrategy: { maxRetry: 3, initialDelay: 200, maxDelay: 1000 },
    requestedSessionTimeout: 60000,
  });
  await client.connect(url);
  print({ op: 'connected' });

  const sessions = new Map();
  const changes = new Map();
  let current = null;

  for (const step of steps) {
    const session = current;
    try {
      switch (step.op) {
        case 'session': {
          const s = await client.createSession();
          sessions.set(step.name, { session: s, subscription: null });
          current = s;
          print({ op: 'session', name: step.name });
          break;
        }
        case 'path': {
          const result = await session.translateBrowsePath(
            ua.makeBrowsePath('ObjectsFolder', step.path));
          print({
            op: 'path', path: step.path, status: statusName(result.statusCode),
            node: result.targets && result.targets.length ? result.targets[0].targetId.toString() : null,
          });
          break;
        }
        case 'attrs': {
          const ids = ['NodeClass', 'BrowseName', 'DisplayName', 'Description', 'DataType',
            'AccessLevel', 'UserAccessLevel'];
          const values = await session.read(ids.map((a) => ({
            nodeId: step.node, attributeId: ua.AttributeIds[a],
          })));
          const out = { op: 'attrs', node: step.node };
          ids.forEach((a, i) => {
            const dv = values[i];
            out[a] = dv.statusCode.isGood() ? plain(dv.value.value) : statusName(dv.statusCode);
          });
          if (out.NodeClass !== undefined) out.NodeClass = ua.NodeClass[out.NodeClass];
          if (out.BrowseName && out.BrowseName.name) out.BrowseName = out.BrowseName.name;
          if (out.DisplayName && out.DisplayName.text !== undefined) out.DisplayName = out.DisplayName.text;
          if (out.Description && out.Description.text !== undefined) out.Description = out.Description.text;
          const browse = await session.browse({
            nodeId: step.node, referenceTypeId: 'HasTypeDefinition',
            browseDirection: ua.BrowseDirection.Forward, includeSubtypes: true, resultMask: 63,
          });
          out.typeDefinition = browse.references && browse.references.length
            ? browse.references[0].nodeId.toString() : null;
          print(out);
          break;
        }
        case 'properties': {
          const browse = await session.browse({
            nodeId: step.node, referenceTypeId: 'HasProperty',
            browseDirection: ua.BrowseDirection.Forward, includeSubtypes: true, resultMask: 63,
          });
          const out = { op: 'properties', node: step.node, status: statusName(browse.statusCode) };
          for (const ref of browse.references || []) {
            const dv = await session.read({ nodeId: ref.nodeId, attributeId: ua.AttributeIds.Value });
            out[ref.browseName.name] = dv.statusCode.isGood() ? plain(dv.value.value)
              : statusName(dv.statusCode);
          }
          print(out);
          break;
        }
        case 'read': {
          const dv = await session.read({ nodeId: step.node, attributeId: ua.AttributeIds.Value },
            step.maxAge === undefined ? 0 : step.maxAge);
          print({
            op: 'read', node: step.node, status: statusName(dv.statusCode),
            value: dv.value ? plain(dv.value.value) : null,
            type: dv.value ? ua.DataType[dv.value.dataType] : null,
            sourceTimestamp: dv.sourceTimestamp ? dv.sourceTimestamp.toISOString() : null,
          });
          break;
        }
        case 'write':
        case 'writeAttribute': {
          const attribute = step.op === 'write' ? 'Value' : step.attribute;
          const status = await session.write({
            nodeId: step.node, attributeId: ua.AttributeIds[attribute],
            value: { value: { dataType: ua.DataType[step.type], value: step.value } },
          });
          print({ op: step.op, node: step.node, attribute, status: statusName(status) });
          break;
        }
        case 'monitor': {
          const entry = [...sessions.values()].find((e) => e.session === session);
          if (!entry.subscription) {
            entry.subscription = await session.createSubscription2({
              requestedPublishingInterval: step.interval, requestedLifetimeCount: 600,
              requestedMaxKeepAliveCount: 10, maxNotificationsPerPublish: 1000,
              publishingEnabled: true, priority: 1,
            });
          }
          let filter = null;
          if (step.percent !== undefined || step.absolute !== undefined) {
            filter = new ua.DataChangeFilter({
              trigger: ua.DataChangeTrigger.StatusValue,
              deadbandType: step.percent !== undefined ? ua.DeadbandType.Percent : ua.DeadbandType.Absolute,
              deadbandValue: step.percent !== undefined ? step.percent : step.absolute,
            });
          }
          changes.set(step.name, []);
          const item = await entry.subscription.monitor(
            { nodeId: step.node, attributeId: ua.AttributeIds.Value },
            { samplingInterval: step.interval, discardOldest: true, queueSize: 10, filter },
            ua.TimestampsToReturn.Both);
          item.on('changed', (dv) => {
            changes.get(step.name).push(dv);
            print({
              op: 'change', name: step.name, status: statusName(dv.statusCode),
              value: dv.value ? plain(dv.value.value) : null,
            });
          });
          item.on('err', (message) => print({ op: 'monitorError', name: step.name, message }));
          print({ op: 'monitor', name: step.name, status: statusName(item.statusCode) });
          break;
        }
        case 'waitFile': {
          const found = await waitFor(() => fs.existsSync(step.path), step.timeout || 30000);
          print({ op: 'waitFile', found });
          break;
        }
        case 'waitChanges': {
          const found = await waitFor(() => (changes.get(step.name) || []).length >= step.count,
            step.timeout || 20000);
          print({ op: 'waitChanges', name: step.name, found });
          break;
        }
        case 'sleep':
          await sleep(step.ms);
          print({ op: 'sleep' });
          break;
        case 'close': {
          const entry = sessions.get(step.name);
          await entry.session.close(true);
          sessions.delete(step.name);
          current = sessions.size ? [...sessions.values()][sessions.size - 1].session : null;
          print({ op: 'close', name: step.name });
          break;
        }
        default:
          print({ op: step.op, error: 'unknown step' });
      }
    } catch (e) {
      print({ op: step.op, error: e.message });
    }
  }
  for (const entry of sessions.values()) await entry.session.close(true).catch(() => {});
  await client.disconnect();
  print({ op: 'done' });
}

main().then(() => process.exit(0), (e) => {
  print({ op: 'failed', error: e.message });
  process.exit(1);
});
