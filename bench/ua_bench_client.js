// One OPC UA client of the plant benchmark (node-opcua): a session on a None channel,
// anonymous, with two subscriptions (250 ms and 1 s), each monitoring every item of the plant.
// It prints, one a line:
//   ready <items> <failed>                 when every item is monitored
//   P <period_ms> <value> <epoch_ms>       each change of a probe item (ends in ".H10")
//   N <notifications> <epoch_ms>           every second, the data changes received so far
//   node ua_bench_client.js <endpoint-url> <items-file> <pki-directory>
'use strict';
const fs = require('fs');
const path = require('path');
const ua = require(path.join(__dirname, '..', 'tests', 'node', 'node_modules', 'node-opcua-client'));
const { OPCUACertificateManager } = require(
  path.join(__dirname, '..', 'tests', 'node', 'node_modules', 'node-opcua-certificate-manager'));

const [url, itemsFile, pkiDirectory] = process.argv.slice(2);
const items = fs.readFileSync(itemsFile, 'utf8').split('\n').filter((l) => l.length > 0);
const kPeriods = [250, 1000];
const kPerCall = 1000;
let notifications = 0;

function line(text) {
  process.stdout.write(text + '\n');
}

async function subscribe(session, period) {
  const subscription = await session.createSubscription2({
    requestedPublishingInterval: period, requestedLifetimeCount: 1200,
    requestedMaxKeepAliveCount: 10, maxNotificationsPerPublish: 0,
    publishingEnabled: true, priority: 1,
  });
  const probes = new Set();
  const ids = items.map((id, i) => {
    if (id.endsWith('.H10')) probes.add(i);
    return { nodeId: 'ns=1;s=' + id, attributeId: ua.AttributeIds.Value };
  });
  let failed = 0;
  // Raw notifications: one handler for the subscription, not an event per item.
  subscription.on('raw_notification', (message) => {
    for (const data of message.notificationData || []) {
      if (!data.monitoredItems) continue;
      const now = Date.now();
      notifications += data.monitoredItems.length;
      for (const change of data.monitoredItems) {
        const index = change.clientHandle - 1;
        if (!probes.has(index)) continue;
        const v = change.value && change.value.value ? change.value.value.value : null;
        if (typeof v === 'number') line('P ' + period + ' ' + v + ' ' + now);
      }
    }
  });
  for (let first = 0; first < ids.length; first += kPerCall) {
    const part = ids.slice(first, first + kPerCall);
    const request = {
      subscriptionId: subscription.subscriptionId,
      timestampsToReturn: ua.TimestampsToReturn.Both,
      itemsToCreate: part.map((itemToMonitor, k) => ({
        itemToMonitor,
        monitoringMode: ua.MonitoringMode.Reporting,
        requestedParameters: {
          clientHandle: first + k + 1, samplingInterval: period, queueSize: 1,
          discardOldest: true, filter: null,
        },
      })),
    };
    const response = await session.createMonitoredItems(request);
    for (const r of response.results) if (r.statusCode.value !== 0) ++failed;
  }
  return failed;
}

async function main() {
  const certificateManager = new OPCUACertificateManager({
    rootFolder: path.join(pkiDirectory, 'pki'),
    automaticallyAcceptUnknownCertificate: true,
  });
  const client = ua.OPCUAClient.create({
    applicationName: 'velk-plant-bench',
    clientCertificateManager: certificateManager,
    securityMode: ua.MessageSecurityMode.None,
    securityPolicy: ua.SecurityPolicy.None,
    connectionStrategy: { maxRetry: 10, initialDelay: 500, maxDelay: 2000 },
    requestedSessionTimeout: 120000,
    defaultTransactionTimeout: 120000,
  });
  await client.connect(url);
  const session = await client.createSession();
  let failed = 0;
  for (const period of kPeriods) failed += await subscribe(session, period);
  line('ready ' + items.length * kPeriods.length + ' ' + failed);
  setInterval(() => line('N ' + notifications + ' ' + Date.now()), 1000);
  process.on('SIGTERM', async () => {
    try {
      await session.close();
      await client.disconnect();
    } finally {
      process.exit(0);
    }
  });
}

main().catch((error) => {
  line('error ' + String(error && error.message ? error.message : error).replace(/\n/g, ' '));
  process.exit(1);
});
